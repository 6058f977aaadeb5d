#pragma once
// The release this program upgrades to: the label that names its log file, its package file,
// its guard and its windows, and that every log line of a run carries.
#include <string>

inline constexpr char ReleaseLabel[] = "2.1.27";

// The main window's caption during the run, which also names the single-instance guard.
inline std::string UpgradeTitle() { return std::string("Upgrade ") + ReleaseLabel; }

// The credentials dialog's caption.
inline std::string DialogTitle() { return std::string(ReleaseLabel) + " Upgrade"; }

#pragma once
// The release this program upgrades to: the label that names its log file, its package file,
// its guard and its windows, and that every log line of a run carries.

inline constexpr char ReleaseLabel[] = "2.1.27";

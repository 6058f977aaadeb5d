#pragma once
// The upgrade run: the fixed sequence the main window's show handler carries out, and the run's
// own log lines. Portable; the window and the steps are handed in.
#include <string>

#include "log/LogSink.h"

// The steps of a run, in the order the sequence calls them.
class UpgradeSteps {
public:
    virtual ~UpgradeSteps() = default;
    virtual void ReadSettings() = 0;            // throws Failure; nothing is logged then
    virtual bool CheckLogin() = 0;              // false: the operator cancelled the login dialog
    virtual bool UpgradeTableStructures() = 0;  // false: a catalog failed (already logged and shown)
    virtual void RunDtsPackage() = 0;
};

// Reads the settings, writes the opening lines, runs the gated database and package steps and
// writes the closing lines. A failure escaping a step leaves at once, with no further line.
void RunUpgradeSequence(UpgradeSteps& steps, LogSink& log);

// The run's own log lines.
std::string BannerLine();
std::string FinishLine();
std::string ExitEventText();  // the event after the database work and the package run

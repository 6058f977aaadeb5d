#pragma once
// The package run: the last working step of an upgrade run. The driver calls RunDtsPackage
// once, after the schema upgrade has succeeded on every catalog.
#include <string>

#include "log/LogSink.h"
#include "settings/RunSettings.h"

// Starts run.LocalPath + "dtsrun.exe" on the release's package file beside the program,
// handing it the log file, the run settings and today's day number, and waits until it has
// ended. Writes the Preparing line before the start and the Finished line after the end. A
// failed start shows the system's error text in a box titled appTitle (the application
// title); the step then returns without waiting and without the Finished line.
void RunDtsPackage(const RunSettings& run, LogSink& log, const std::string& appTitle);

// The system's message text for an error code, unchanged (a line break at its end stays).
// When the system has none: "Error in GetErrorString(code) : lastError".
std::string GetErrorString(int code);

#pragma once
// The package step's sequence over a small seam to the system, so that it runs the same with
// the Win32 processes and box of Package_win.cpp and with fakes in tests.
#include <memory>
#include <string>

#include "log/LogSink.h"
#include "package/DtsCommand.h"
#include "settings/RunSettings.h"

// The exit code a process reports while it runs (the platform's STILL_ACTIVE).
inline constexpr unsigned long StillActive = 259;

// How often the exit code is read while the runner works, in milliseconds.
inline constexpr unsigned PollIntervalMs = 500;

// A started runner. Its destructor releases the process and thread handles.
class RunnerProcess {
public:
    enum class WaitResult { Ended, TimedOut, Failed };

    virtual ~RunnerProcess() = default;
    // Reads the exit code; false when the query fails.
    virtual bool QueryExitCode(unsigned long& code) = 0;
    // Waits up to ms milliseconds for the process to end, using no processor time meanwhile.
    virtual WaitResult WaitForEnd(unsigned ms) = 0;
};

// What the step needs from the system.
class PackageSystem {
public:
    virtual ~PackageSystem() = default;
    virtual CalendarDate LocalDate() = 0;
    // Starts program (a path, not searched) with commandLine in a console of its own, nothing
    // inherited. On failure gives null and sets error to the system's last error code.
    virtual std::unique_ptr<RunnerProcess> Start(const std::string& program, const std::string& commandLine,
                                                 int& error) = 0;
    // The system's text for an error code (GetErrorString).
    virtual std::string ErrorString(int code) = 0;
    // A modal box with one OK button and no icon; returns once it is dismissed.
    virtual void ShowMessage(const std::string& title, const std::string& text) = 0;
};

// Reads the exit code every PollIntervalMs until it is no longer STILL_ACTIVE, but ends as
// soon as the process itself has ended: a runner that ends with 259 ends the wait too. A
// failing exit-code query or wait ends the wait as well, so it can never hang on a process
// that is gone. Gives the exit code as last read (259 when none was read).
unsigned long AwaitRunnerEnd(RunnerProcess& runner);

// The package step: the Preparing line, the start of the runner on the release's package
// file, the wait for its end and the Finished line. A failed start shows the system's text
// for the error in a box titled appTitle and then returns without waiting.
void RunPackageStep(const RunSettings& run, LogSink& log, const std::string& appTitle, PackageSystem& system);

// The text of the Finished event, written once the runner has ended.
std::string FinishedEventText();

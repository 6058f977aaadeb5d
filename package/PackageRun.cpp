#include "package/PackageRun.h"

std::string FinishedEventText() { return std::string("Finished to invoke DTS file for ") + ReleaseLabel; }

unsigned long AwaitRunnerEnd(RunnerProcess& runner) {
    unsigned long exitCode = StillActive;
    for (;;) {
        if (!runner.QueryExitCode(exitCode) || exitCode != StillActive) return exitCode;
        // Waiting on the process instead of sleeping notices its end at once.
        if (runner.WaitForEnd(PollIntervalMs) != RunnerProcess::WaitResult::TimedOut) return exitCode;
    }
}

void RunPackageStep(const RunSettings& run, LogSink& log, const std::string& appTitle, PackageSystem& system) {
    log.WriteEvent(std::string("Preparing to invoke DTS file for ") + ReleaseLabel);

    const std::string program = DtsRunPath(run);
    const std::string commandLine = BuildDtsCommandLine(run, DayNumber(system.LocalDate()));

    int error = 0;
    std::unique_ptr<RunnerProcess> runner = system.Start(program, commandLine, error);
    if (!runner) {
        system.ShowMessage(appTitle, system.ErrorString(error));
        // No Finished line: the log must not record the end of a runner that never started.
        return;
    }
    AwaitRunnerEnd(*runner);  // every exit code leads on alike
    runner.reset();           // the handles are of no use after the wait

    log.WriteEvent(FinishedEventText());
}

#include "app/UpgradeRun.h"

#include "base/Release.h"

std::string BannerLine() {
    const std::string dashes(31, '-');
    return dashes + "  " + ReleaseLabel + "  " + dashes;
}

std::string FinishLine() { return std::string("~ ") + ReleaseLabel + "  --- finish update ---"; }

std::string ExitEventText() { return std::string("Exit Setup.exe for ") + ReleaseLabel; }

void RunUpgradeSequence(UpgradeSteps& steps, LogSink& log) {
    steps.ReadSettings();
    log.Write(BannerLine());
    log.WriteEvent(std::string("Run Setup.exe for ") + ReleaseLabel);
    if (steps.CheckLogin() && steps.UpgradeTableStructures()) steps.RunDtsPackage();
    log.WriteEvent(ExitEventText());
    log.Write(FinishLine());
    log.Write(" ");
}

#include "app/Driver.h"

#include "base/Release.h"
#include "settings/PathRules.h"

std::string BannerLine() {
    const std::string dashes(31, '-');
    return dashes + "  " + ReleaseLabel + "  " + dashes;
}

std::string FinishLine() { return std::string("~ ") + ReleaseLabel + "  --- finish update ---"; }

void RunUpgradeSequence(UpgradeSteps& steps, LogSink& log) {
    steps.ReadSettings();
    log.Write(BannerLine());
    log.WriteEvent(std::string("Run Setup.exe for ") + ReleaseLabel);
    if (steps.CheckLogin() && steps.UpgradeTableStructures()) steps.RunDtsPackage();
    log.WriteEvent(std::string("Exit Setup.exe for ") + ReleaseLabel);
    log.Write(FinishLine());
    log.Write(" ");
}

std::string ApplicationTitle(const std::string& programPath, LeadByteTest lead, LowerCaseFn lower) {
    const std::string name = FileNamePart(programPath, lead);
    const std::string title = name.substr(0, FindCharacter(name, '.', lead));
    if (title.empty()) return title;
    const std::size_t first = CharacterLength(title, 0, lead);
    return title.substr(0, first) + lower(title.substr(first));
}

std::string StopBoxText(const std::string& message, LeadByteTest lead) {
    if (message.empty()) return message;
    return static_cast<unsigned char>(message[LastCharacter(message, lead)]) > '.' ? message + "." : message;
}

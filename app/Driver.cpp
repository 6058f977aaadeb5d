#include "app/Driver.h"

#include <cctype>

#include "settings/RunSettings.h"

std::string BannerLine() {
    const std::string dashes(31, '-');
    return dashes + "  " + ReleaseLabel + "  " + dashes;
}

std::string FinishLine() { return std::string("~ ") + ReleaseLabel + "  --- finish update ---"; }

void RunUpgradeSequence(UpgradeSteps& steps, LogSink& log) {
    steps.ReadSettings();
    log.Write(BannerLine());
    log.Write(log.Stamp() + " - Run Setup.exe for " + ReleaseLabel);
    if (steps.CheckLogin() && steps.UpgradeTableStructures()) steps.RunDtsPackage();
    log.Write(log.Stamp() + " - Exit Setup.exe for " + ReleaseLabel);
    log.Write(FinishLine());
    log.Write(" ");
}

std::string AsciiLowerCase(const std::string& s) {
    std::string out = s;
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string ApplicationTitle(const std::string& programPath, LeadByteTest lead, LowerCaseFn lower) {
    const std::string name = FileNamePart(programPath, lead);
    // Cut before the first full stop that is a character of its own.
    std::size_t end = name.size();
    for (std::size_t i = 0; i < name.size(); i += lead(static_cast<unsigned char>(name[i])) ? 2 : 1) {
        if (name[i] == '.') {
            end = i;
            break;
        }
    }
    const std::string title = name.substr(0, end);
    if (title.empty()) return title;
    const std::size_t first = (lead(static_cast<unsigned char>(title[0])) && title.size() > 1) ? 2 : 1;
    return title.substr(0, first) + lower(title.substr(first));
}

std::string StopBoxText(const std::string& message, LeadByteTest lead) {
    if (message.empty()) return message;
    std::size_t last = 0;
    for (std::size_t i = 0; i < message.size(); i += lead(static_cast<unsigned char>(message[i])) ? 2 : 1)
        last = i;
    return static_cast<unsigned char>(message[last]) > '.' ? message + "." : message;
}

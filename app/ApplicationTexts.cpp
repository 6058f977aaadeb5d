#include "app/ApplicationTexts.h"

#include "settings/PathRules.h"

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

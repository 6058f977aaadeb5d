#include "settings/PathRules.h"

#include <cstddef>

namespace {

bool IsSeparatorAt(const std::string& s, std::size_t i, LeadByteTest lead, bool colonToo) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (lead(c)) return false;
    return c == '\\' || (colonToo && c == ':');
}

// Start offsets of the last character and of the last separator (npos when absent).
struct Scan {
    std::size_t lastChar = std::string::npos;
    std::size_t lastSeparator = std::string::npos;
    std::size_t charBeforeSeparator = std::string::npos;
};

Scan ScanText(const std::string& s, LeadByteTest lead, bool colonToo) {
    Scan scan;
    ForEachCharacter(s, lead, [&](std::size_t i) {
        if (IsSeparatorAt(s, i, lead, colonToo)) {
            scan.lastSeparator = i;
            scan.charBeforeSeparator = scan.lastChar;
        }
        scan.lastChar = i;
    });
    return scan;
}

}  // namespace

bool EndsInBackslash(const std::string& s, LeadByteTest lead) {
    const Scan scan = ScanText(s, lead, false);
    return scan.lastChar != std::string::npos && scan.lastChar == scan.lastSeparator;
}

std::string AddTrailingBackslash(const std::string& s, LeadByteTest lead) {
    return EndsInBackslash(s, lead) ? s : s + "\\";
}

std::string StripTrailingBackslash(const std::string& s, LeadByteTest lead) {
    return EndsInBackslash(s, lead) ? s.substr(0, s.size() - 1) : s;
}

std::string FolderPart(const std::string& s, LeadByteTest lead) {
    const Scan scan = ScanText(s, lead, true);
    return scan.lastSeparator == std::string::npos ? std::string() : s.substr(0, scan.lastSeparator + 1);
}

std::string FileNamePart(const std::string& s, LeadByteTest lead) {
    const Scan scan = ScanText(s, lead, true);
    return scan.lastSeparator == std::string::npos ? s : s.substr(scan.lastSeparator + 1);
}

std::string DirectoryPart(const std::string& s, LeadByteTest lead) {
    const Scan scan = ScanText(s, lead, true);
    if (scan.lastSeparator == std::string::npos) return std::string();
    const std::size_t i = scan.lastSeparator;
    const bool backslash = s[i] == '\\';
    const bool afterRootSeparator =
        scan.charBeforeSeparator != std::string::npos && IsSeparatorAt(s, scan.charBeforeSeparator, lead, true);
    if (backslash && i > 0 && !afterRootSeparator) return s.substr(0, i);
    return s.substr(0, i + 1);
}

#include "base/Text.h"

bool SingleByteCodePage(unsigned char) { return false; }

std::size_t LastCharacter(const std::string& s, LeadByteTest lead) {
    std::size_t last = std::string::npos;
    ForEachCharacter(s, lead, [&](std::size_t i) { last = i; });
    return last;
}

std::size_t FindCharacter(const std::string& s, char c, LeadByteTest lead) {
    for (std::size_t i = 0; i < s.size(); i += CharacterLength(s, i, lead))
        if (s[i] == c && CharacterLength(s, i, lead) == 1) return i;
    return std::string::npos;
}

std::string AsciiLowerCase(const std::string& s) {
    std::string out = s;
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

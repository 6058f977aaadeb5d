#pragma once
// Narrow (ANSI) text as the system's code page holds it. In a double-byte code page a character
// is one byte, or a lead byte and the byte after it; that second byte may have any value, a
// backslash or a full stop included, so a rule that looks for such a byte walks the text
// character by character. The portable rules take the code page's lead-byte test and lower-case
// rule as arguments; the system's own are at the end.
#include <cstddef>
#include <string>
#include <vector>

// Tells whether a byte starts a double-byte character in the code page in use.
using LeadByteTest = bool (*)(unsigned char);

bool SingleByteCodePage(unsigned char);  // the test for single-byte code pages: always false

// The byte length of the character that starts at offset i: 2 for a lead byte that has a byte
// after it, else 1 (a lead byte at the very end is a character of its own).
inline std::size_t CharacterLength(const std::string& s, std::size_t i, LeadByteTest lead) {
    return lead(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
}

// Calls visit(i) with the offset of every character's first byte, in order.
template <typename Visit>
void ForEachCharacter(const std::string& s, LeadByteTest lead, Visit visit) {
    for (std::size_t i = 0; i < s.size(); i += CharacterLength(s, i, lead)) visit(i);
}

// The offset of the last character's first byte; npos for an empty text.
std::size_t LastCharacter(const std::string& s, LeadByteTest lead);

// The offset of the first character that is the single byte c; npos when there is none.
std::size_t FindCharacter(const std::string& s, char c, LeadByteTest lead);

// s with a NUL after it, in a buffer of the caller's own: for the system calls that take a text
// through a non-const pointer.
template <typename Char = char>
std::vector<Char> WritableCopy(const std::string& s) {
    std::vector<Char> copy(s.begin(), s.end());
    copy.push_back(0);
    return copy;
}

// A lower-case rule: the text with its letters in lower case, byte for byte as long.
using LowerCaseFn = std::string (*)(const std::string&);
std::string AsciiLowerCase(const std::string& s);  // A-Z only

// The system's rules for its ANSI code page (Windows builds only: Text_win.cpp).
bool AnsiLeadByte(unsigned char c);
std::string AnsiLowerCase(const std::string& s);

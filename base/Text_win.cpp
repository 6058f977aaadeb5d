#include <windows.h>

#include "base/Text.h"

bool AnsiLeadByte(unsigned char c) { return IsDBCSLeadByte(c) != FALSE; }

std::string AnsiLowerCase(const std::string& s) {
    std::string out = s;
    if (!out.empty()) CharLowerBuffA(&out[0], static_cast<DWORD>(out.size()));
    return out;
}

#pragma once
// The application's own texts outside the log: its title and the stop box's text. Portable.
#include <string>

#include "base/Text.h"

// The application title: the program file's name without folder, cut before its first full
// stop, every character after the first in lower case (lower does that for the code page).
std::string ApplicationTitle(const std::string& programPath, LeadByteTest lead = SingleByteCodePage,
                             LowerCaseFn lower = AsciiLowerCase);

// The stop box's text for a failure message: a full stop is added when the message is not
// empty and its last character (for a double-byte one, its first byte) lies above '.'.
std::string StopBoxText(const std::string& message, LeadByteTest lead = SingleByteCodePage);

#pragma once
// Path rules on narrow (ANSI) text. A separator is a backslash, or a colon where a rule says so.
// In a double-byte code page a byte that is the second byte of a character is never a separator:
// the rules walk the text character by character with the code page's lead-byte test.
#include <string>

#include "base/Text.h"

bool EndsInBackslash(const std::string& s, LeadByteTest lead = SingleByteCodePage);
// Appends "\" unless s already ends in one; an empty text becomes "\".
std::string AddTrailingBackslash(const std::string& s, LeadByteTest lead = SingleByteCodePage);
// Removes one trailing backslash, if there is one.
std::string StripTrailingBackslash(const std::string& s, LeadByteTest lead = SingleByteCodePage);
// The text up to and including the last backslash or colon; empty when there is none.
std::string FolderPart(const std::string& s, LeadByteTest lead = SingleByteCodePage);
// The text after the last backslash or colon.
std::string FileNamePart(const std::string& s, LeadByteTest lead = SingleByteCodePage);
// The folder without its trailing backslash, except where that backslash is a root's
// ("C:\", "\", "\\"): those keep it.
std::string DirectoryPart(const std::string& s, LeadByteTest lead = SingleByteCodePage);

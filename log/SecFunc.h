#pragma once
// The upgrade log writer. The log is 8-bit text, every line followed by CR LF. Other writers
// (the package runner) may leave other line ends or a last line without one; the next WriteLog
// then rewrites the whole content in that form (LogLines.h has the reading rule), every byte of
// every line kept, NUL included. SecFunc_win.cpp says how whatever fails (full disk, crash,
// power cut, another program holding the log open) leaves the log whole, old or new.
#include <string>

#include "base/Text.h"

// Appends line as the new last line of the file logFileName. Never fails visibly: any
// failure loses the line and leaves the existing file as it was. An empty name writes nothing.
void WriteLog(const std::string& logFileName, const std::string& line) noexcept;

// The file a rewrite goes to: the log's name with its last character replaced by '~' (by '_'
// when it is a '~'), so in the same folder and never longer than the log's own name, which may
// be as long as the system allows.
std::string RewriteFileName(const std::string& logFileName, LeadByteTest lead = SingleByteCodePage);

// The log time stamp "yyyy/mm/dd hh:nn:ss" of the current local time, with the user's
// regional date and time separators (one reading of the clock; FormatLogStamp of
// LogStampText.h has the rule).
std::string LogStamp();

#pragma once
// The upgrade log writer.
//
// The log is 8-bit text, every line followed by CR LF. Other writers (the package runner) may
// have left other line ends or a last line without one; the first WriteLog after them rewrites
// the whole content in that form (LogLines.h has the reading rule), every byte of every line
// kept, NUL included. A log already in that form gets the line appended in place, and is cut
// back to its old length when the append fails.
//
// While WriteLog runs, nobody else may open the log: it is opened exclusively, and a log held
// open by another program in any way costs the line and stays as it was. A rewrite goes to a
// file beside the log (RewriteFileName), which is flushed and then moved over the log in one
// step, so that the log is either the old file or the new one, whole, whatever fails (full
// disk, crash, power cut). Windows moves no file over an open one, so the log is let go just before the
// move; a process that opens it in that instant makes the move fail, and the line is lost.
// The new file is removed on every failure.
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

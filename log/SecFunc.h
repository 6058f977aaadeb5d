#pragma once
// The upgrade log writer.
#include <string>

// Appends line as the new last line of the file logFileName. Never fails visibly: any
// failure loses the line and leaves the existing file as it was. An empty name writes nothing.
void WriteLog(const std::string& logFileName, const std::string& line) noexcept;

// The log time stamp "yyyy/mm/dd hh:nn:ss" of the current local time, with the user's
// regional date and time separators.
std::string LogStamp();

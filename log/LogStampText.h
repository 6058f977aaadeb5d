#pragma once
// The log time stamp "yyyy/mm/dd hh:nn:ss" made from a clock reading and the user's regional
// separators, both handed in by the caller (LogStamp of SecFunc.h reads them from Windows).
#include <string>
#include <string_view>

// One reading of the local clock.
struct StampTime {
    int year, month, day;      // month 1..12, day 1..31
    int hour, minute, second;  // hour 0..23
    int millisecond;           // dropped by the stamp, never rounded into the second
};

// Year (four digits), month, day, hour on the 24-hour clock, minutes, seconds, each number
// filled with zeros to its width. Each regional separator is used when it is exactly one byte;
// a longer one gives the default ('/' for the date, ':' for the time), an empty one none.
std::string FormatLogStamp(const StampTime& t, std::string_view regionalDateSep, std::string_view regionalTimeSep);

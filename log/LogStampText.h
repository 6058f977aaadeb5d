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

// The separator the stamp uses for a regional one: the regional separator when it is exactly
// one byte, the fallback ('/' for dates, ':' for times) when it is longer, none when it is empty.
std::string StampSeparator(std::string_view regional, char fallback);

// Year (four digits), month, day, hour on the 24-hour clock, minutes, seconds, each number
// filled with zeros to its width, joined by the separators the regional ones give.
std::string FormatLogStamp(const StampTime& t, std::string_view regionalDateSep,
                           std::string_view regionalTimeSep);

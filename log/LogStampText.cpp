#include "log/LogStampText.h"

#include <cstdio>

namespace {

std::string StampSeparator(std::string_view regional, char fallback) {
    if (regional.size() > 1) return std::string(1, fallback);
    return std::string(regional);
}

}  // namespace

std::string FormatLogStamp(const StampTime& t, std::string_view regionalDateSep, std::string_view regionalTimeSep) {
    const std::string d = StampSeparator(regionalDateSep, '/');
    const std::string s = StampSeparator(regionalTimeSep, ':');
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d%s%02d%s%02d %02d%s%02d%s%02d", t.year, d.c_str(), t.month, d.c_str(), t.day,
                  t.hour, s.c_str(), t.minute, s.c_str(), t.second);
    return buf;
}

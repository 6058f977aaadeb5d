// The log time stamp from a clock reading and the regional separators.
#include "log/LogStampText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct StampCase {
    const char* name;
    StampTime time;
    std::string dateSep, timeSep;  // regional
    std::string stamp;
};

const StampCase kStamps[] = {
    {"DefaultSeparators", {2019, 11, 29, 10, 44, 4, 0}, "/", ":", "2019/11/29 10:44:04"},
    {"FullStopDate", {2019, 11, 29, 10, 44, 4, 0}, ".", ":", "2019.11.29 10:44:04"},
    {"HyphenDate", {2019, 11, 29, 10, 44, 4, 0}, "-", ":", "2019-11-29 10:44:04"},
    {"FullStopTime", {2019, 11, 29, 10, 44, 4, 0}, "/", ".", "2019/11/29 10.44.04"},
    {"LongSeparatorsGiveDefaults", {2019, 11, 29, 10, 44, 4, 0}, "--", " h ", "2019/11/29 10:44:04"},
    {"EmptySeparatorsGiveNone", {2019, 11, 29, 10, 44, 4, 0}, "", "", "20191129 104404"},
    {"DoubleByteSeparatorIsLong", {2019, 11, 29, 10, 44, 4, 0}, "\x81\x5e", ":", "2019/11/29 10:44:04"},
    {"AfternoonOnTwentyFourHourClock", {2024, 3, 7, 14, 5, 9, 0}, "/", ":", "2024/03/07 14:05:09"},
    {"LastSecondOfTheDay", {2024, 12, 31, 23, 59, 59, 0}, "/", ":", "2024/12/31 23:59:59"},
    {"Midnight", {2024, 1, 1, 0, 0, 0, 0}, "/", ":", "2024/01/01 00:00:00"},
    {"FractionDropped", {2019, 11, 29, 10, 44, 4, 700}, "/", ":", "2019/11/29 10:44:04"},
    {"FractionNotCarriedIntoNextDay", {2024, 12, 31, 23, 59, 59, 999}, "/", ":", "2024/12/31 23:59:59"},
    {"EarlyYearFilled", {987, 1, 2, 3, 4, 5, 0}, "/", ":", "0987/01/02 03:04:05"},
};

class LogStamp : public testing::TestWithParam<StampCase> {};

TEST_P(LogStamp, Formats) {
    const StampCase& c = GetParam();
    EXPECT_EQ(FormatLogStamp(c.time, c.dateSep, c.timeSep), c.stamp);
}

INSTANTIATE_TEST_SUITE_P(Cases, LogStamp, testing::ValuesIn(kStamps),
                         [](const testing::TestParamInfo<StampCase>& info) { return info.param.name; });

}  // namespace

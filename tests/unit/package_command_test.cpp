// The runner's command line, its paths and the day number of a date.
#include <gtest/gtest.h>

#include <string>

#include "package/DtsCommand.h"

namespace {

RunSettings Plain() {
    RunSettings run;
    run.AppPath = "C:\\Setup\\";
    run.ServerPath = "S:\\Server\\";
    run.LocalPath = "C:\\Prog\\Local\\";
    run.LogRoot = "C:\\Prog\\";
    run.PalladoConnection = "DBHOST\\INST";
    run.LogFileName = "C:\\Prog\\Log\\2.1.27.log";
    run.DBUser = "sa";
    run.DBPwd = "secret";
    return run;
}

}  // namespace

TEST(PackageCommandLine, LiteralLineForPlainValues) {
    EXPECT_EQ(BuildDtsCommandLine(Plain(), 43798),
              " /F C:\\Setup\\2.1.27.dts /M q /L \"C:\\Prog\\Log\\2.1.27.log\" /W \"0\""
              " /A AppPath:8=\"C:\\Setup\\\" /A ServerPath:8=\"S:\\Server\\\""
              " /A LocalPath:8=\"C:\\Prog\\Local\\\" /A PalladoConnection:8=\"DBHOST\\INST\""
              " /A DBPwd:8=\"secret\" /A UpgDate:8=\"43798\" /A MDBLocation:8=\"Zant.mdb\""
              " /A DBUser:8=\"sa\"");
}

TEST(PackageCommandLine, ValuesGoInUnchangedAndOnlyTheTableQuotes) {
    struct Case {
        const char* name;
        void (*change)(RunSettings&);
        long day;
        const char* line;
    };
    const Case cases[] = {
        {"AppPath with spaces", [](RunSettings& r) { r.AppPath = "C:\\Program Files\\Up grade\\"; }, 1,
         " /F \"C:\\Program Files\\Up grade\\2.1.27.dts\" /M q /L \"C:\\Prog\\Log\\2.1.27.log\" /W \"0\""
         " /A AppPath:8=\"C:\\Program Files\\Up grade\\\" /A ServerPath:8=\"S:\\Server\\\""
         " /A LocalPath:8=\"C:\\Prog\\Local\\\" /A PalladoConnection:8=\"DBHOST\\INST\""
         " /A DBPwd:8=\"secret\" /A UpgDate:8=\"1\" /A MDBLocation:8=\"Zant.mdb\" /A DBUser:8=\"sa\""},
        {"log path with spaces", [](RunSettings& r) { r.LogFileName = "C:\\My Prog\\Log\\2.1.27.log"; }, 0,
         " /F C:\\Setup\\2.1.27.dts /M q /L \"C:\\My Prog\\Log\\2.1.27.log\" /W \"0\""
         " /A AppPath:8=\"C:\\Setup\\\" /A ServerPath:8=\"S:\\Server\\\""
         " /A LocalPath:8=\"C:\\Prog\\Local\\\" /A PalladoConnection:8=\"DBHOST\\INST\""
         " /A DBPwd:8=\"secret\" /A UpgDate:8=\"0\" /A MDBLocation:8=\"Zant.mdb\" /A DBUser:8=\"sa\""},
        {"login and password with quote and space",
         [](RunSettings& r) {
             r.DBPwd = "pa\"ss word";
             r.DBUser = "O\"Brien x";
         },
         2,
         " /F C:\\Setup\\2.1.27.dts /M q /L \"C:\\Prog\\Log\\2.1.27.log\" /W \"0\""
         " /A AppPath:8=\"C:\\Setup\\\" /A ServerPath:8=\"S:\\Server\\\""
         " /A LocalPath:8=\"C:\\Prog\\Local\\\" /A PalladoConnection:8=\"DBHOST\\INST\""
         " /A DBPwd:8=\"pa\"ss word\" /A UpgDate:8=\"2\" /A MDBLocation:8=\"Zant.mdb\" /A DBUser:8=\"O\"Brien x\""},
        {"leading and trailing blanks kept",
         [](RunSettings& r) {
             r.DBPwd = "  pw  ";
             r.DBUser = " u ";
         },
         3,
         " /F C:\\Setup\\2.1.27.dts /M q /L \"C:\\Prog\\Log\\2.1.27.log\" /W \"0\""
         " /A AppPath:8=\"C:\\Setup\\\" /A ServerPath:8=\"S:\\Server\\\""
         " /A LocalPath:8=\"C:\\Prog\\Local\\\" /A PalladoConnection:8=\"DBHOST\\INST\""
         " /A DBPwd:8=\"  pw  \" /A UpgDate:8=\"3\" /A MDBLocation:8=\"Zant.mdb\" /A DBUser:8=\" u \""},
        {"8-bit text",
         [](RunSettings& r) {
             r.DBPwd = "M\xfcller\x80";
             r.ServerPath = "\\\\srv\\\xe9t\xe9\\";
         },
         60,
         " /F C:\\Setup\\2.1.27.dts /M q /L \"C:\\Prog\\Log\\2.1.27.log\" /W \"0\""
         " /A AppPath:8=\"C:\\Setup\\\" /A ServerPath:8=\"\\\\srv\\\xe9t\xe9\\\""
         " /A LocalPath:8=\"C:\\Prog\\Local\\\" /A PalladoConnection:8=\"DBHOST\\INST\""
         " /A DBPwd:8=\"M\xfcller\x80\" /A UpgDate:8=\"60\" /A MDBLocation:8=\"Zant.mdb\" /A DBUser:8=\"sa\""},
    };
    for (const Case& c : cases) {
        RunSettings run = Plain();
        c.change(run);
        EXPECT_EQ(BuildDtsCommandLine(run, c.day), c.line) << c.name;
    }
}

// A path the runner would split at a space or a tab is quoted; any other stays bare.
TEST(PackageCommandLine, PackagePathIsQuotedOnlyWhereABlankWouldSplitIt) {
    const struct {
        const char* appPath;
        const char* f;
    } cases[] = {
        {"C:\\Setup\\", " /F C:\\Setup\\2.1.27.dts /M "},
        {"C:\\Program Files\\Setup\\", " /F \"C:\\Program Files\\Setup\\2.1.27.dts\" /M "},
        {"C:\\Tab\there\\", " /F \"C:\\Tab\there\\2.1.27.dts\" /M "},
        {"\\\\srv\\up-grade\\\xe9t\xe9\\", " /F \\\\srv\\up-grade\\\xe9t\xe9\\2.1.27.dts /M "},
    };
    for (const auto& c : cases) {
        RunSettings run = Plain();
        run.AppPath = c.appPath;
        const std::string line = BuildDtsCommandLine(run, 5);
        EXPECT_EQ(line.rfind(c.f, 0), 0u) << line;
        EXPECT_NE(line.find(std::string(" /A AppPath:8=\"") + c.appPath + "\" "), std::string::npos) << line;
    }
}

TEST(PackageCommandLine, EmptySettingsStillGiveTwelveElements) {
    const std::string line = BuildDtsCommandLine(RunSettings(), 0);
    EXPECT_EQ(line,
              " /F 2.1.27.dts /M q /L \"\" /W \"0\" /A AppPath:8=\"\" /A ServerPath:8=\"\""
              " /A LocalPath:8=\"\" /A PalladoConnection:8=\"\" /A DBPwd:8=\"\" /A UpgDate:8=\"0\""
              " /A MDBLocation:8=\"Zant.mdb\" /A DBUser:8=\"\"");
}

TEST(PackagePaths, RunnerInLocalFolderPackageBesideProgram) {
    RunSettings run = Plain();
    run.LocalPath = "D:\\Quiln Local\\";
    run.AppPath = "E:\\Media Disk\\";
    EXPECT_EQ(DtsRunPath(run), "D:\\Quiln Local\\dtsrun.exe");
    EXPECT_EQ(PackageFileName(run), "E:\\Media Disk\\2.1.27.dts");
}

TEST(PackageDayNumber, KnownDates) {
    struct Case {
        CalendarDate date;
        long day;
    };
    const Case cases[] = {
        {{1899, 12, 30}, 0},     {{1899, 12, 31}, 1},     {{1900, 1, 1}, 2},
        {{1900, 2, 28}, 60},     {{1900, 3, 1}, 61},                              // 1900 is no leap year
        {{2000, 2, 28}, 36584},  {{2000, 2, 29}, 36585},  {{2000, 3, 1}, 36586},  // 2000 is one
        {{2019, 11, 29}, 43798}, {{2019, 12, 31}, 43830}, {{2020, 1, 1}, 43831},
        {{2024, 2, 29}, 45351},  {{2100, 3, 1}, 73110},   {{9999, 12, 31}, 2958465},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DayNumber(c.date), c.day) << c.date.Year << "-" << c.date.Month << "-" << c.date.Day;
}

// Each midnight adds one: at the end of every month of a common year, and at the leap days
// the Gregorian rule gives and withholds; a year has as many days as its calendar.
TEST(PackageDayNumber, EachMidnightAddsOne) {
    const struct {
        CalendarDate day, next;
    } cases[] = {
        {{2023, 1, 31}, {2023, 2, 1}},  {{2023, 2, 28}, {2023, 3, 1}},   {{2023, 3, 31}, {2023, 4, 1}},
        {{2023, 4, 30}, {2023, 5, 1}},  {{2023, 5, 31}, {2023, 6, 1}},   {{2023, 6, 30}, {2023, 7, 1}},
        {{2023, 7, 31}, {2023, 8, 1}},  {{2023, 8, 31}, {2023, 9, 1}},   {{2023, 9, 30}, {2023, 10, 1}},
        {{2023, 10, 31}, {2023, 11, 1}}, {{2023, 11, 30}, {2023, 12, 1}}, {{2023, 12, 31}, {2024, 1, 1}},
        {{1900, 2, 28}, {1900, 3, 1}},  {{1904, 2, 28}, {1904, 2, 29}},  {{1904, 2, 29}, {1904, 3, 1}},
        {{2000, 2, 28}, {2000, 2, 29}}, {{2100, 2, 28}, {2100, 3, 1}},   {{2400, 2, 28}, {2400, 2, 29}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DayNumber(c.next), DayNumber(c.day) + 1) << c.day.Year << "-" << c.day.Month << "-" << c.day.Day;

    const struct {
        int year;
        long days;
    } years[] = {{1900, 365}, {1904, 366}, {1999, 365}, {2000, 366}, {2023, 365}, {2024, 366}, {2100, 365}};
    for (const auto& y : years) EXPECT_EQ(DayNumber({y.year + 1, 1, 1}) - DayNumber({y.year, 1, 1}), y.days) << y.year;
}

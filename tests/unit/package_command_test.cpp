// The runner's command line, its paths and the day number of a date.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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

// The elements as the table lists them, built independently of the code: switch and
// argument, in order.
std::vector<std::string> Elements(const RunSettings& r, long day) {
    const std::string q = "\"";
    const std::string package = r.AppPath + "2.1.27.dts";
    const bool splits = package.find(' ') != std::string::npos || package.find('\t') != std::string::npos;
    return {
        "/F " + (splits ? q + package + q : package),
        std::string("/M ") + PackagePasswordLetter,
        "/L " + q + r.LogFileName + q,
        "/W \"0\"",
        "/A AppPath:8=" + q + r.AppPath + q,
        "/A ServerPath:8=" + q + r.ServerPath + q,
        "/A LocalPath:8=" + q + r.LocalPath + q,
        "/A PalladoConnection:8=" + q + r.PalladoConnection + q,
        "/A DBPwd:8=" + q + r.DBPwd + q,
        "/A UpgDate:8=" + q + std::to_string(day) + q,
        "/A MDBLocation:8=\"Zant.mdb\"",
        "/A DBUser:8=" + q + r.DBUser + q,
    };
}

std::string Joined(const std::vector<std::string>& elements) {
    std::string line;
    for (const auto& e : elements) line += " " + e;
    return line;
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
    };
    const Case cases[] = {
        {"plain", [](RunSettings&) {}, 43798},
        {"AppPath with spaces", [](RunSettings& r) { r.AppPath = "C:\\Program Files\\Up grade\\"; }, 1},
        {"log path with spaces", [](RunSettings& r) { r.LogFileName = "C:\\My Prog\\Log\\2.1.27.log"; }, 0},
        {"password with quote and space", [](RunSettings& r) { r.DBPwd = "pa\"ss word"; }, 2},
        {"login with quote and space", [](RunSettings& r) { r.DBUser = "O\"Brien x"; }, 2},
        {"leading and trailing blanks kept",
         [](RunSettings& r) {
             r.DBPwd = "  pw  ";
             r.DBUser = " u ";
         },
         3},
        {"empty values", [](RunSettings& r) { r = RunSettings(); }, 0},
        {"8-bit text",
         [](RunSettings& r) {
             r.DBPwd = "M\xfcller\x80";
             r.ServerPath = "\\\\srv\\\xe9t\xe9\\";
         },
         60},
    };
    for (const Case& c : cases) {
        RunSettings run = Plain();
        c.change(run);
        EXPECT_EQ(BuildDtsCommandLine(run, c.day), Joined(Elements(run, c.day))) << c.name;
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

TEST(PackageDayNumber, EachMidnightAddsOne) {
    const int daysIn[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    long expected = DayNumber({1899, 12, 31});
    for (int year = 1900; year <= 2104; ++year) {
        const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        for (int month = 1; month <= 12; ++month) {
            const int last = daysIn[month - 1] + (month == 2 && leap ? 1 : 0);
            for (int day = 1; day <= last; ++day) {
                ++expected;
                ASSERT_EQ(DayNumber({year, month, day}), expected) << year << "-" << month << "-" << day;
            }
        }
    }
}

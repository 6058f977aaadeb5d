// check-upgrade's verdict: what a run added to the log, and the last run in it, read by the log's
// reading rule whatever the line ends and however the content is cut into pieces.
#include "check/UpgradeVerdict.h"

#include "base/Release.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The text with every '@' replaced by the release label.
std::string R(std::string text) {
    for (std::size_t at; (at = text.find('@')) != std::string::npos;) text.replace(at, 1, ReleaseLabel);
    return text;
}

const std::string kBanner = std::string(31, '-') + R("  @  ") + std::string(31, '-') + "\r\n";
const std::string kRun = kBanner + R("2019/11/29 10:44:04 - Run Setup.exe for @\r\n");
const std::string kClosing = R("2019/11/29 10:45:31 - Exit Setup.exe for @\r\n~ @  --- finish update ---\r\n \r\n");

std::string Success(const std::string& catalog) {
    return "2019/11/29 10:44:05 - Success update table structure(s) for " + catalog + "\r\n";
}

const std::string kGood = kRun + Success("ZANT") + Success("ZANT_Backup") + Success("ZANT_model") +
                          R("2019/11/29 10:44:06 - Preparing to invoke DTS file for @\r\nrunner: ok\r\n") +
                          R("2019/11/29 10:45:31 - Finished to invoke DTS file for @\r\n") + kClosing;
const std::string kFailed =
    kRun + Success("ZANT") + "2019/11/29 10:44:05 - Fail update table structure(s) for ZANT_Backup\r\n" + kClosing;

struct Case {
    const char* name;
    std::string before;  // the log before the start
    std::string after;   // the log after Setup.exe ended
    bool guardHeld;      // after the end
    int run;             // RunVerdict's code
    int detect;          // DetectVerdict's code on the log after
};

const Case kCases[] = {
    {"GoodRunAfterAFailedOne", kFailed, kFailed + kGood, false, 0, 0},
    {"FirstRunIntoNoLog", "", kGood, false, 0, 0},
    // The runner's LF-only lines and a last line without an end, given CR LF by the rewrite.
    {"EarlierLineEndsRewritten", kFailed + "runner: a\nrunner: b", kFailed + "runner: a\r\nrunner: b\r\n" + kGood,
     false, 0, 0},
    {"CrOnlyBefore", "a\rb\r", "a\r\nb\r\n" + kGood, false, 0, 0},
    {"OtherRegionalSeparators", "",
     kRun + "x.y - Success update table structure(s) for ZANT\r\n" + Success("ZANT_Backup") + Success("ZANT_model") +
         R("x - Finished to invoke DTS file for @\r\n") + kClosing,
     false, 0, 0},
    {"CatalogFailed", kGood, kGood + kFailed, false, 1, 1},
    {"DialogCancelled", "", kRun + kClosing, false, 1, 1},
    {"FirstCatalogOnlyAsPartOfOthers", "",
     kRun + Success("ZANT_Backup") + Success("ZANT_model") +
         R("2019/11/29 10:45:31 - Finished to invoke DTS file for @\r\n") + kClosing,
     false, 1, 1},
    {"FinishLineLost", "", kGood.substr(0, kGood.find("~ ")), false, 1, 1},
    {"FinishedEndsOtherwise", "",
     kGood.substr(0, kGood.find(" - Finished")) + R(" - Finished to invoke DTS file for @ (late)\r\n") + kClosing,
     false, 1, 1},
    {"NothingAddedGuardHeld", kGood, kGood, true, 1618, 0},
    {"NothingAddedGuardFree", kFailed, kFailed, false, 1, 1},
    {"RunnerOutputOnlyGuardHeld", kFailed, kFailed + "runner: still working\r\n", true, 1618, 1},
    {"TwoBlocksAdded", "", kGood + kGood, false, 1, 0},
    {"BannerWithMoreText", "", kBanner.substr(0, kBanner.size() - 2) + " \r\n" + kGood.substr(kBanner.size()), false, 1,
     1},
};

// Scans content from line `from` on: whole, and again a byte at a time; both must agree.
LogScan Scan(const std::string& content, std::size_t from = 0) {
    LogScan whole(from), bytes(from);
    whole.Feed(content);
    whole.Finish();
    for (char c : content) bytes.Feed(std::string_view(&c, 1));
    bytes.Finish();
    EXPECT_EQ(bytes.Lines(), whole.Lines());
    EXPECT_EQ(bytes.Banners(), whole.Banners());
    EXPECT_EQ(bytes.Missing(), whole.Missing());
    return whole;
}

class CheckVerdict : public testing::TestWithParam<Case> {};

TEST_P(CheckVerdict, FromWhatTheRunAddedAndFromTheLastRun) {
    const Case& c = GetParam();
    const LogScan added = Scan(c.after, Scan(c.before).Lines());
    EXPECT_EQ(RunVerdict(added, c.guardHeld).code, c.run) << RunVerdict(added, c.guardHeld).text;
    EXPECT_EQ(DetectVerdict(true, Scan(c.after)).code, c.detect) << DetectVerdict(true, Scan(c.after)).text;
}

INSTANTIATE_TEST_SUITE_P(Logs, CheckVerdict, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace

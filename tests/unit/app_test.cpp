#include <gtest/gtest.h>

#include <vector>

#include "app/ApplicationTexts.h"
#include "app/UpgradeRun.h"
#include "base/Failure.h"
#include "text_fakes.h"

namespace {

class RecordingLog : public LogSink {
public:
    std::vector<std::string> lines;
    std::string Stamp() override { return "STAMP"; }
    void Write(const std::string& line) override { lines.push_back(line); }
};

class ScriptedSteps : public UpgradeSteps {
public:
    bool settingsFail = false, login = true, upgrade = true;
    std::vector<std::string> calls;
    void ReadSettings() override {
        calls.push_back("settings");
        if (settingsFail) throw Failure("Error in reading registry. x");
    }
    bool CheckLogin() override {
        calls.push_back("login");
        return login;
    }
    bool UpgradeTableStructures() override {
        calls.push_back("upgrade");
        return upgrade;
    }
    void RunDtsPackage() override { calls.push_back("package"); }
};

const std::vector<std::string> kDriverLines = {
    "-------------------------------  2.1.27  -------------------------------",
    "STAMP - Run Setup.exe for 2.1.27",
    "STAMP - Exit Setup.exe for 2.1.27",
    "~ 2.1.27  --- finish update ---",
    " ",
};

}  // namespace

TEST(UpgradeSequence, GatesAndLinesForEachOutcome) {
    struct Case {
        bool login, upgrade;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {true, true, {"settings", "login", "upgrade", "package"}},
        {false, true, {"settings", "login"}},
        {true, false, {"settings", "login", "upgrade"}},
    };
    for (const Case& c : cases) {
        ScriptedSteps steps;
        steps.login = c.login;
        steps.upgrade = c.upgrade;
        RecordingLog log;
        RunUpgradeSequence(steps, log);
        EXPECT_EQ(steps.calls, c.calls);
        EXPECT_EQ(log.lines, kDriverLines);
    }
    EXPECT_EQ(BannerLine().size(), 72u);
    EXPECT_EQ(FinishLine().size(), 31u);
}

TEST(UpgradeSequence, SettingsFailureEscapesBeforeAnyLine) {
    ScriptedSteps steps;
    steps.settingsFail = true;
    RecordingLog log;
    EXPECT_THROW(RunUpgradeSequence(steps, log), Failure);
    EXPECT_TRUE(log.lines.empty());
    EXPECT_EQ(steps.calls, std::vector<std::string>{"settings"});
}

TEST(ApplicationTitle, FromTheProgramFileName) {
    EXPECT_EQ(ApplicationTitle("C:\\Prog\\Setup.exe"), "Setup");
    EXPECT_EQ(ApplicationTitle("C:\\Prog\\UPGRADE.EXE"), "Upgrade");
    EXPECT_EQ(ApplicationTitle("C:\\Prog\\upgrade.exe"), "upgrade");
    EXPECT_EQ(ApplicationTitle("C:\\Prog\\Upgrade 2.1.27.exe"), "Upgrade 2");
    EXPECT_EQ(ApplicationTitle("C:\\Prog.d\\SETUP"), "Setup");  // a dotted folder does not count
    EXPECT_EQ(ApplicationTitle("C:\\.exe"), "");
    // A double-byte first character stays whole; 0x5C as its trail byte is no separator.
    EXPECT_EQ(ApplicationTitle("C:\\\x83\x5CSETUP.EXE", ShiftJisLead), "\x83\x5Csetup");
}

TEST(StopBoxText, FullStopRule) {
    struct Row {
        const char* message;
        const char* shown;
    };
    const Row rows[] = {
        {"Error in reading registry. Invalid data type for 'ServerPath'",
         "Error in reading registry. Invalid data type for 'ServerPath'"},
        {"Disk full", "Disk full."},
        {"Code 42", "Code 42."},
        {"Done.", "Done."},
        {"Ends in space ", "Ends in space "},
        {"(paren)", "(paren)"},
        {"dash-", "dash-"},
        {"slash/", "slash/."},  // '/' is 0x2F, just above the full stop
        {"", ""},
    };
    for (const Row& r : rows) EXPECT_EQ(StopBoxText(r.message), r.shown) << r.message;
    // For a double-byte last character its first byte decides, even with a low trail byte.
    EXPECT_EQ(StopBoxText("x\x81\x2D", ShiftJisLead), "x\x81\x2D.");
    EXPECT_EQ(StopBoxText("x\x81\x2D"), "x\x81\x2D");
}

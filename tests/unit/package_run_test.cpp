// The package step's sequence and the wait for the runner, over fakes of the system.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "package/PackageRun.h"

namespace {

using WaitResult = RunnerProcess::WaitResult;

// Everything the step did, in order, as one list of events.
struct Journal {
    std::vector<std::string> events;
    void Add(const std::string& e) { events.push_back(e); }
};

class RecordingLog : public LogSink {
public:
    explicit RecordingLog(Journal& j) : j_(j) {}
    std::string Stamp() override { return "T" + std::to_string(++stamps_); }
    void Write(const std::string& line) override { j_.Add("log " + line); }

private:
    Journal& j_;
    int stamps_ = 0;
};

// A runner whose exit-code queries and waits answer from scripts; past the end of a script
// the last answer repeats.
class ScriptedRunner : public RunnerProcess {
public:
    struct Query {
        bool ok;
        unsigned long code;
    };
    ScriptedRunner(Journal& j, std::vector<Query> queries, std::vector<WaitResult> waits)
        : j_(j), queries_(std::move(queries)), waits_(std::move(waits)) {}
    ~ScriptedRunner() override { j_.Add("release"); }

    bool QueryExitCode(unsigned long& code) override {
        const Query q = queries_[std::min(nQuery_++, queries_.size() - 1)];
        j_.Add("query");
        if (q.ok) code = q.code;
        return q.ok;
    }
    WaitResult WaitForEnd(unsigned ms) override {
        j_.Add("wait " + std::to_string(ms));
        return waits_[std::min(nWait_++, waits_.size() - 1)];
    }

private:
    Journal& j_;
    std::vector<Query> queries_;
    std::vector<WaitResult> waits_;
    size_t nQuery_ = 0;
    size_t nWait_ = 0;
};

class FakeSystem : public PackageSystem {
public:
    explicit FakeSystem(Journal& j) : j_(j) {}
    CalendarDate date{2019, 11, 29};
    int startError = 0;  // non-zero: the start fails with it
    std::vector<ScriptedRunner::Query> queries{{true, 0}};
    std::vector<WaitResult> waits{WaitResult::Ended};
    std::string program, commandLine;

    CalendarDate LocalDate() override { return date; }
    std::unique_ptr<RunnerProcess> Start(const std::string& p, const std::string& c, int& error) override {
        j_.Add("start");
        program = p;
        commandLine = c;
        if (startError != 0) {
            error = startError;
            return nullptr;
        }
        return std::make_unique<ScriptedRunner>(j_, queries, waits);
    }
    std::string ErrorString(int code) override { return "text of " + std::to_string(code) + "\r\n"; }
    void ShowMessage(const std::string& title, const std::string& text) override {
        j_.Add("box [" + title + "] [" + text + "]");
    }

private:
    Journal& j_;
};

RunSettings Settings() {
    RunSettings run;
    run.AppPath = "C:\\App Dir\\";
    run.LocalPath = "C:\\Local\\";
    run.LogFileName = "C:\\Log\\2.1.27.log";
    run.DBUser = "sa";
    run.DBPwd = "pw";
    return run;
}

const char Preparing[] = "log T1 - Preparing to invoke DTS file for 2.1.27";
const char Finished[] = "log T2 - Finished to invoke DTS file for 2.1.27";

std::vector<std::string> RunStep(FakeSystem& system, Journal& journal) {
    RecordingLog log(journal);
    RunPackageStep(Settings(), log, "Setup", system);
    return journal.events;
}

}  // namespace

TEST(PackageStep, StartsRunnerBetweenItsTwoLinesAndReleasesAfterTheWait) {
    Journal j;
    FakeSystem system(j);
    system.queries = {{true, StillActive}, {true, StillActive}, {true, 0}};
    system.waits = {WaitResult::TimedOut};
    EXPECT_EQ(RunStep(system, j), (std::vector<std::string>{Preparing, "start", "query", "wait 500", "query",
                                                            "wait 500", "query", "release", Finished}));
    EXPECT_EQ(system.program, "C:\\Local\\dtsrun.exe");
    EXPECT_EQ(system.commandLine, BuildDtsCommandLine(Settings(), 43798));
}

TEST(PackageStep, FailedStartShowsSystemTextAndGoesOnWithoutWaiting) {
    Journal j;
    FakeSystem system(j);
    system.startError = 2;
    EXPECT_EQ(RunStep(system, j), (std::vector<std::string>{Preparing, "start", "box [Setup] [text of 2\r\n]"}));
}

TEST(PackageStep, EveryExitCodeLeadsOnAlike) {
    for (unsigned long code : {0ul, 1ul, 2ul, 259ul, 0xC0000005ul}) {
        Journal j;
        FakeSystem system(j);
        // Running at first; then the process ends with code (259 cannot be told by the poll).
        system.queries = {{true, StillActive}, {true, code}};
        system.waits = {WaitResult::Ended};
        const auto events = RunStep(system, j);
        ASSERT_GE(events.size(), 2u);
        EXPECT_EQ(events.front(), Preparing) << code;
        EXPECT_EQ(events.back(), Finished) << code;
        EXPECT_EQ(events[events.size() - 2], "release") << code;
    }
}

TEST(PackageStep, DateIsReadWhenTheLineIsBuilt) {
    Journal j;
    FakeSystem system(j);
    system.date = {2020, 1, 1};
    RunStep(system, j);
    EXPECT_NE(system.commandLine.find(" /A UpgDate:8=\"43831\" "), std::string::npos) << system.commandLine;
}

TEST(PackageWait, EndsOnEveryWayTheRunnerCanBeGone) {
    struct Case {
        const char* name;
        std::vector<ScriptedRunner::Query> queries;
        std::vector<WaitResult> waits;
        std::vector<std::string> events;
        unsigned long code;
    };
    const Case cases[] = {
        {"already ended", {{true, 0}}, {WaitResult::TimedOut}, {"query"}, 0},
        {"ends with 1 after two polls",
         {{true, StillActive}, {true, StillActive}, {true, 1}},
         {WaitResult::TimedOut},
         {"query", "wait 500", "query", "wait 500", "query"},
         1},
        {"signalled with 259: the process decides",
         {{true, StillActive}},
         {WaitResult::TimedOut, WaitResult::Ended},
         {"query", "wait 500", "query", "wait 500"},
         StillActive},
        {"exit-code query fails at once", {{false, 0}}, {WaitResult::TimedOut}, {"query"}, StillActive},
        {"exit-code query fails later",
         {{true, StillActive}, {false, 0}},
         {WaitResult::TimedOut},
         {"query", "wait 500", "query"},
         StillActive},
        {"wait fails", {{true, StillActive}}, {WaitResult::Failed}, {"query", "wait 500"}, StillActive},
    };
    for (const Case& c : cases) {
        Journal j;
        {
            ScriptedRunner runner(j, c.queries, c.waits);
            EXPECT_EQ(AwaitRunnerEnd(runner), c.code) << c.name;
        }
        j.events.pop_back();  // "release"
        EXPECT_EQ(j.events, c.events) << c.name;
    }
}

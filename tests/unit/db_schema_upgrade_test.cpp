#include <gtest/gtest.h>

#include "db/SchemaUpgrade.h"
#include "db_fakes.h"

namespace {

using Events = std::vector<std::string>;

// The events of one catalog that goes through, with its success line stamped `stamp`.
Events Through(const std::string& catalog, int stamp) {
    return {"open " + catalog,
            "begin",
            "execute",
            "commit",
            "T" + std::to_string(stamp) + " - Success update table structure(s) for " + catalog,
            "close"};
}
std::string FailLine(const std::string& catalog, int stamp) {
    return "T" + std::to_string(stamp) + " - Fail update table structure(s) for " + catalog;
}
std::string RollbackLine(const std::string& catalog, int stamp) {
    return "T" + std::to_string(stamp) + " - Rollback for updating table structure(s) for " + catalog;
}
Events operator+(Events a, const Events& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
const std::string kBox = "box (open) Upgrade fail for 2.1.27!";
const std::string kBoxNeverOpened = "box (closed) Upgrade fail for 2.1.27!";

struct UpgradeCase {
    const char* name;
    const char* failSteps;  // comma-separated; "" for none
    const char* failCatalog;
    bool expected;
    bool throws;  // a failed rollback leaves the routine unhandled
    Events events;
    std::vector<std::string> catalogsOpened;
};

void PrintTo(const UpgradeCase& c, std::ostream* os) { *os << c.name; }

class Upgrade : public ::testing::TestWithParam<UpgradeCase> {};

TEST_P(Upgrade, WalksTheCatalogsAndStopsAtTheFirstFailure) {
    const UpgradeCase& c = GetParam();
    Record rec;
    FakeConnection cnUpg(rec, c.failSteps, c.failCatalog);
    FakeLog log(rec);
    FakeErrorBox box(rec);
    RunSettings run;
    run.PalladoConnection = "DBHOST,1433";
    run.DBUser = " typed user";
    run.DBPwd = "pw;x ";
    const UpgradeCommand cmdUpg;

    bool result = false;
    if (c.throws) {
        EXPECT_THROW(UpgradeEachCatalog(run, cnUpg, cmdUpg, log, box), Failure);
    } else {
        result = UpgradeEachCatalog(run, cnUpg, cmdUpg, log, box);
        EXPECT_EQ(result, c.expected);
    }
    EXPECT_EQ(rec.events, c.events);
    EXPECT_FALSE(rec.connectionOpen);

    std::vector<std::string> opened;
    for (const OpenCall& o : rec.opens) {
        opened.push_back(o.params.Catalog);
        EXPECT_EQ(o.params.Server, "DBHOST,1433");
        EXPECT_EQ(o.params.User, " typed user");
        EXPECT_EQ(o.params.Password, "pw;x ");
        EXPECT_EQ(o.timeout, 60);
    }
    EXPECT_EQ(opened, c.catalogsOpened);
    for (const ExecuteCall& e : rec.executes) {
        EXPECT_EQ(e.sql, std::string(SchemaChangeBatch));
        EXPECT_EQ(e.sql.size(), 627u);
        EXPECT_EQ(e.timeout, 30);
    }
}

const std::vector<std::string> kAll = {"ZANT", "ZANT_Backup", "ZANT_model"};

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Steps, Upgrade,
    ::testing::Values(
        UpgradeCase{"AllSucceed", "", "", true, false,
                    Through("ZANT", 1) + Through("ZANT_Backup", 2) + Through("ZANT_model", 3),
                    kAll},
        UpgradeCase{"OpenFailsOnFirst", "open", "ZANT", false, false,
                    {"open ZANT", FailLine("ZANT", 1), kBoxNeverOpened, "close"},
                    {"ZANT"}},
        UpgradeCase{"BeginFailsOnSecond", "begin", "ZANT_Backup", false, false,
                    Through("ZANT", 1) + Events{"open ZANT_Backup", "begin", FailLine("ZANT_Backup", 2), kBox, "close"},
                    {"ZANT", "ZANT_Backup"}},
        UpgradeCase{"BatchFailsOnSecond", "execute", "ZANT_Backup", false, false,
                    Through("ZANT", 1) + Events{"open ZANT_Backup", "begin", "execute", FailLine("ZANT_Backup", 2),
                                                "rollback", RollbackLine("ZANT_Backup", 3), kBox, "close"},
                    {"ZANT", "ZANT_Backup"}},
        UpgradeCase{"CommitFailsOnThird", "commit", "ZANT_model", false, false,
                    Through("ZANT", 1) + Through("ZANT_Backup", 2) +
                        Events{"open ZANT_model", "begin", "execute", "commit", FailLine("ZANT_model", 3),
                               "rollback", RollbackLine("ZANT_model", 4), kBox, "close"},
                    kAll},
        UpgradeCase{"RollbackFailsAfterBatchFailure", "execute,rollback", "ZANT", false, true,
                    {"open ZANT", "begin", "execute", FailLine("ZANT", 1), "rollback", "close"},
                    {"ZANT"}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST(UpgradeCommandDefaults, AreTheBatchAnd30Seconds) {
    const UpgradeCommand cmd;
    EXPECT_EQ(cmd.CommandText, std::string(SchemaChangeBatch));
    EXPECT_EQ(cmd.CommandTimeoutSeconds, 30);
}

}  // namespace

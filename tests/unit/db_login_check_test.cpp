#include <gtest/gtest.h>

#include "db/LoginCheck.h"
#include "db_fakes.h"

namespace {

// A dialog that answers with a fixed result and, on OK, stores a typed pair the way the real
// one does (password first, then login, exactly as typed).
class FakeDialog : public CredentialsDialog {
public:
    FakeDialog(Record& r, int result) : rec_(r), result_(result) {}
    int ShowModal(RunSettings& run) override {
        rec_.events.push_back(std::string("dialog ") + (rec_.connectionOpen ? "(test open)" : "(test closed)"));
        if (result_ == DialogOK) {
            run.DBPwd = "p;w=d ";
            run.DBUser = " sa ";
        }
        return result_;
    }

private:
    Record& rec_;
    int result_;
};

struct LoginCase {
    const char* name;
    const char* server;
    const char* openFails;  // "" opens; "failure" throws Failure; "other" throws something else
    int dialogResult;       // what the dialog answers if it is shown
    bool expected;
    std::vector<std::string> events;
    const char* user;  // DBUser / DBPwd afterwards
    const char* pwd;
};

void PrintTo(const LoginCase& c, std::ostream* os) { *os << c.name; }

class LoginCheck : public ::testing::TestWithParam<LoginCase> {};

TEST_P(LoginCheck, DecidesByTheTestOpenThenByTheDialog) {
    const LoginCase& c = GetParam();
    Record rec;
    FakeDialog dialog(rec, c.dialogResult);
    RunSettings run;
    run.PalladoConnection = c.server;
    run.DBUser = "left over";  // the built-in pair replaces whatever the settings held
    run.DBPwd = "from before";

    const std::string fails = c.openFails;
    bool result = TestLoginOrAsk(
        run, [&] { return std::make_unique<FakeConnection>(rec, fails.empty() ? "" : "open", "", fails == "failure"); },
        [&]() -> CredentialsDialog& { return dialog; });

    EXPECT_EQ(result, c.expected);
    EXPECT_EQ(rec.events, c.events);
    EXPECT_EQ(run.DBUser, c.user);
    EXPECT_EQ(run.DBPwd, c.pwd);
    ASSERT_EQ(rec.opens.size(), 1u);  // the typed pair is never tried here
    EXPECT_EQ(rec.opens[0].params.Server, c.server);
    EXPECT_EQ(rec.opens[0].params.Catalog, "Pallado");
    EXPECT_EQ(rec.opens[0].params.User, "pallado_user");
    EXPECT_EQ(rec.opens[0].params.Password, "vermilion");
    EXPECT_EQ(rec.opens[0].timeout, 15);
}

const std::vector<std::string> kOpened = {"open Pallado", "close", "released"};
const std::vector<std::string> kAsked = {"open Pallado", "dialog (test closed)", "close", "released"};

INSTANTIATE_TEST_SUITE_P(
    Cases, LoginCheck,
    ::testing::Values(
        LoginCase{"BuiltInAccepted", "DBHOST\\INST", "", DialogCancel, true, kOpened, "pallado_user", "vermilion"},
        LoginCase{"EmptyServerTriedAllTheSame", "", "", DialogCancel, true, kOpened, "pallado_user", "vermilion"},
        LoginCase{"RefusedThenOK", "DBHOST", "failure", DialogOK, true, kAsked, " sa ", "p;w=d "},
        LoginCase{"RefusedThenCancel", "DBHOST", "failure", DialogCancel, false, kAsked, "pallado_user", "vermilion"},
        LoginCase{"AnyOtherFailureAsks", "DBHOST", "other", DialogOK, true, kAsked, " sa ", "p;w=d "}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LoginCheckCreate, FailureToMakeTheConnectionLeavesWithTheBuiltInPairSet) {
    Record rec;
    FakeDialog dialog(rec, DialogOK);
    RunSettings run;
    run.DBUser = "left over";
    run.DBPwd = "from before";
    EXPECT_THROW(TestLoginOrAsk(
                     run, []() -> std::unique_ptr<Connection> { throw Failure("Class not registered"); },
                     [&]() -> CredentialsDialog& { return dialog; }),
                 Failure);
    EXPECT_TRUE(rec.events.empty());  // no dialog
    EXPECT_EQ(run.DBUser, "pallado_user");
    EXPECT_EQ(run.DBPwd, "vermilion");
}

}  // namespace

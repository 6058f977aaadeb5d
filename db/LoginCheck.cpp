#include "db/LoginCheck.h"

namespace {

// Closes the test connection however the check is left; the unique_ptr then releases it.
struct CloseOnExit {
    Connection& c;
    ~CloseOnExit() { c.Close(); }
};

}  // namespace

bool TestLoginOrAsk(RunSettings& run, const std::function<std::unique_ptr<Connection>()>& makeConnection,
                    const std::function<CredentialsDialog&()>& dialog) {
    run.DBUser = BuiltInUser;
    run.DBPwd = BuiltInPassword;

    const std::unique_ptr<Connection> test = makeConnection();
    const CloseOnExit closer{*test};

    bool opened = false;
    try {
        test->Open({run.PalladoConnection, LoginCatalog, run.DBUser, run.DBPwd}, LoginOpenTimeoutSeconds);
        opened = true;
    } catch (...) {
        // The cause is dropped on purpose.
    }
    if (opened) return true;
    return dialog().ShowModal(run) == DialogOK;
}

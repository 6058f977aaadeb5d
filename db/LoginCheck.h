#pragma once
// The login check: may the run touch the database at all?
//
// The built-in login is tried on the main catalog with a test connection of its own. When
// that fails, for whatever reason, the operator is asked for a login and password, and the
// way the dialog is left decides. The typed pair is not tried here; the schema upgrade is the
// first to use it. No cause of a failure is shown or logged.
#include <functional>
#include <memory>

#include "db/Connection.h"
#include "settings/RunSettings.h"

inline constexpr char BuiltInUser[] = "pallado_user";
inline constexpr char BuiltInPassword[] = "vermilion";
inline constexpr char LoginCatalog[] = "Pallado";
inline constexpr int LoginOpenTimeoutSeconds = 15;

// Dialog results.
inline constexpr int DialogOK = 1;
inline constexpr int DialogCancel = 2;

// The credentials dialog as the check sees it: shown modally, returns DialogOK or
// DialogCancel (any other way of closing it counts as Cancel). On OK it has stored the typed
// texts in run.DBPwd and run.DBUser, exactly as typed; otherwise it has stored nothing.
class CredentialsDialog {
public:
    virtual ~CredentialsDialog() = default;
    virtual int ShowModal(RunSettings& run) = 0;
};

// The dialog where nobody can see it: left at once as with Cancel, storing nothing.
class UnseenDialog : public CredentialsDialog {
public:
    int ShowModal(RunSettings&) override { return DialogCancel; }
};

// True when the built-in pair opened or the dialog was left with OK. The pair stays in
// run.DBUser/DBPwd unless the dialog stores the typed one. A failure of makeConnection itself
// is not caught; dialog() is called only when the dialog is to be shown.
bool TestLoginOrAsk(RunSettings& run, const std::function<std::unique_ptr<Connection>()>& makeConnection,
                    const std::function<CredentialsDialog&()>& dialog);

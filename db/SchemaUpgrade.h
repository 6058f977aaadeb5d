#pragma once
// The schema upgrade of the product's three catalogs.
//
// Each catalog gets a connection and a transaction of its own; the schema-change batch runs in
// it and is committed. The first failure ends the routine: failure line, rollback (and its line)
// when a transaction is still open, the error box, result false; later catalogs are not touched.
// A rollback that itself fails is not handled: its Failure leaves the routine as it is, without
// rollback line or box. The connection is closed whenever the routine is left.
#include <string>

#include "base/Release.h"
#include "db/Connection.h"
#include "db/SchemaChange.h"
#include "log/LogSink.h"
#include "settings/RunSettings.h"

inline constexpr int UpgradeOpenTimeoutSeconds = 60;

// The upgrade command: the batch as one command text and the command's own time-out.
struct UpgradeCommand {
    std::string CommandText = SchemaChangeBatch;
    int CommandTimeoutSeconds = 30;
};

// The box shown at the first failure, modally; how it is closed is not looked at.
class ErrorBox {
public:
    virtual ~ErrorBox() = default;
    virtual void Show(const std::string& message) = 0;
};

// The catalogs in the order they are upgraded.
inline constexpr const char* UpgradeCatalogs[] = {"ZANT", "ZANT_Backup", "ZANT_model"};

// "Upgrade fail for " + the release label + "!"
std::string UpgradeFailMessage();

// The text of the event written once a catalog's change has been committed.
std::string SuccessEventText(const char* catalog);

// Connects with run.PalladoConnection, run.DBUser and run.DBPwd; writes one line per event
// through log; true when all three catalogs were committed.
bool UpgradeEachCatalog(const RunSettings& run, Connection& cnUpg, const UpgradeCommand& cmdUpg, LogSink& log,
                        ErrorBox& box);

#include "db/SchemaUpgrade.h"

namespace {

// The log events of the upgrade: text + catalog.
enum class Event { Success, Fail, Rollback };

constexpr const char* EventText[] = {
    "Success update table structure(s) for ",
    "Fail update table structure(s) for ",
    "Rollback for updating table structure(s) for ",
};

void WriteEvent(LogSink& log, Event e, const char* catalog) {
    log.WriteEvent(EventText[static_cast<int>(e)] + std::string(catalog));
}

}  // namespace

std::string SuccessEventText(const char* catalog) {
    return EventText[static_cast<int>(Event::Success)] + std::string(catalog);
}

std::string UpgradeFailMessage() { return std::string("Upgrade fail for ") + ReleaseLabel + "!"; }

bool UpgradeEachCatalog(const RunSettings& run, Connection& cnUpg, const UpgradeCommand& cmdUpg, LogSink& log,
                        ErrorBox& box) {
    for (const char* catalog : UpgradeCatalogs) {
        try {
            cnUpg.Open({run.PalladoConnection, catalog, run.DBUser, run.DBPwd}, UpgradeOpenTimeoutSeconds);
            cnUpg.BeginTrans();
            cnUpg.Execute(cmdUpg.CommandText, cmdUpg.CommandTimeoutSeconds);
            cnUpg.CommitTrans();
            WriteEvent(log, Event::Success, catalog);
        } catch (...) {
            // The cause is dropped on purpose: the log line and the box say all there is to say.
            WriteEvent(log, Event::Fail, catalog);
            if (cnUpg.InTransaction()) {
                try {
                    cnUpg.RollbackTrans();
                } catch (...) {
                    cnUpg.Close();
                    throw;
                }
                WriteEvent(log, Event::Rollback, catalog);
            }
            box.Show(UpgradeFailMessage());  // the connection is still open while the box is up
            cnUpg.Close();
            return false;
        }
        cnUpg.Close();
    }
    return true;
}

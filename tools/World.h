#pragma once
// The stand-in's world: logins, catalogs and injected faults, kept in a JSON state file that the
// test (or `sqlstandin --demo`) writes. Shape (every key optional unless noted):
//
//   {
//     "silent": false,                      server-wide: accept TCP, never answer the pre-login
//     "logins": { "pallado_user": "vermilion" },          login name -> password (exact case)
//     "catalogs": {
//       "ZANT": {
//         "port_table": true,               table DBO.PORT exists (default false)
//         "location_width": 100,            declared width of PORT.LOCATION; null or absent: no column
//         "ix_port_location": true,         index IX_PORT_LOCATION on PORT exists (default false)
//         "faults": ["batch_error"],        any of the fault names below (default none)
//         "error_number": 50000,            the server error a batch_error answers with
//         "error_message": "Injected batch failure."
//       }
//     }
//   }
//
// Faults, per catalog:
//   refuse_login     every login to the catalog fails with 18456, even with the right password
//   unknown_catalog  the catalog is treated as missing: 4060 then 18456 (so is a catalog not listed)
//   batch_error      every batch fails with error_number/error_message (class 16); the transaction
//                    stays open and nothing changes
//   late_batch_error the same error, but after a first statement that reports a row count, so
//                    that the client sees it only when it fetches the further results
//   batch_hang       a batch is never answered; an attention (client cancel) is acknowledged
//   commit_fail      a commit fails with 3930 ("cannot be committed ... Roll back the
//                    transaction."); the transaction stays open and a rollback then works
//   rollback_fail    the connection is closed when a rollback arrives (a real failed rollback)
//   drop_in_batch    the connection is closed in the middle of the batch's answer
//   deadlock_victim  every batch fails with 1205 (class 13) and the server rolls the open
//                    transaction back itself, so the client's rollback finds none
//
// Faults act on ordinary batches and on the end of a transaction, never on transaction control
// itself (a BEGIN, a SET IMPLICIT_TRANSACTIONS).
//
// Unknown keys and fault names are errors, so that a typo in a test cannot pass unnoticed.
// LoadWorld and SaveWorld throw std::runtime_error; SaveWorld replaces the file atomically.
#include <map>
#include <optional>
#include <set>
#include <string>

enum class Fault {
    RefuseLogin,
    UnknownCatalog,
    BatchError,
    LateBatchError,
    BatchHang,
    CommitFail,
    RollbackFail,
    DropInBatch,
    DeadlockVictim
};

struct CatalogModel {
    bool portTable = false;
    std::optional<int> locationWidth;
    bool ixPortLocation = false;
    std::set<Fault> faults;
    int errorNumber = 50000;
    std::string errorMessage = "Injected batch failure.";

    bool Has(Fault f) const { return faults.count(f) != 0; }
};

struct World {
    bool silent = false;
    std::map<std::string, std::string> logins;
    std::map<std::string, CatalogModel> catalogs;
};

World ParseWorld(const std::string& jsonText);
std::string WorldToJson(const World& world);
World LoadWorld(const std::string& path);
void SaveWorld(const World& world, const std::string& path);

// The demo world: catalog "Pallado" and the three catalogs "ZANT", "ZANT_Backup" and
// "ZANT_model", each with LOCATION narrower than 140; login "pallado_user" / "vermilion".
World DemoWorld();

// What the release's schema-change batch does to a catalog: when PORT.LOCATION is narrower
// than 140, the index is (re)built and the column becomes 140 wide. Returns the number of
// statements that ran (0 when nothing changed).
int ApplySchemaChange(CatalogModel& catalog);

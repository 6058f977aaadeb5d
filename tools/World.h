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
//         "index_builds": 0,                times IX_PORT_LOCATION was created and committed
//         "location_nulls": false,          PORT has rows whose LOCATION is NULL
//         "other_location_index": "IX_X",   another index on LOCATION (default none)
//         "location_constraint": "DF_X",    a constraint on LOCATION (default none)
//         "collation": "Latin1_General_CI_AS",  the catalog's collation
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
//   batch_error      every batch fails to compile with error_number/error_message (class 16):
//                    nothing in it runs, an open transaction stays open, none is started
//   late_batch_error the same error, but after a first statement that reports a row count, so
//                    that the client sees it only when it fetches the further results
//   batch_hang       a batch is never answered; an attention (client cancel) is acknowledged
//   lock_wait        the schema batch's ALTER waits for a lock until the client's attention, after
//                    its DROP INDEX has run
//   commit_lost      the connection is closed when a commit arrives; nothing is applied
//   commit_lost_after the commit is applied, then the connection is closed before the answer
//   rollback_fail    the connection is closed when a rollback arrives (a real failed rollback)
//   drop_in_batch    the connection is closed in the middle of the batch's answer
//   deadlock_victim  every batch fails with 1205 (class 13) and the server rolls the open
//                    transaction back itself, so the client's rollback finds none
//
// Faults act on a batch's first statement that is not transaction control, and on the end of a
// transaction; never on a BEGIN or a SET IMPLICIT_TRANSACTIONS.
//
// The schema-change batch runs statement by statement (RunSchemaBatch). Its errors are those of a
// server with XACT_ABORT off: on a case-sensitive or binary collation DBO.SYSCOLUMNS does not
// resolve (208 at compile, nothing runs); NULL rows (515) or another object on LOCATION
// (5074 + 4922) end only the ALTER, and the batch goes on to rebuild the index on the old column.
//
// Unknown keys and fault names are errors, so that a typo in a test cannot pass unnoticed.
// LoadWorld and SaveWorld throw std::runtime_error; SaveWorld replaces the file atomically.
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

enum class Fault {
    RefuseLogin,
    UnknownCatalog,
    BatchError,
    LateBatchError,
    BatchHang,
    LockWait,
    CommitLost,
    CommitLostAfter,
    RollbackFail,
    DropInBatch,
    DeadlockVictim
};

struct CatalogModel {
    bool portTable = false;
    std::optional<int> locationWidth;
    bool ixPortLocation = false;
    int indexBuilds = 0;
    bool locationNulls = false;
    std::string otherLocationIndex, locationConstraint;
    std::string collation = "Latin1_General_CI_AS";
    std::set<Fault> faults;
    int errorNumber = 50000;
    std::string errorMessage = "Injected batch failure.";

    bool Has(Fault f) const { return faults.count(f) != 0; }
    // A _CS_ or _BIN collation: names of system objects must then be written in their own case.
    bool CaseSensitive() const;
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

// A server's message: an error, or with severity 0 an informational one (3621 "The statement
// has been terminated." after a 515).
struct ServerError {
    int number;
    std::string message;
    uint8_t severity = 16;
};
// One statement of the schema-change batch that ran, and what it ended with (nothing: it did
// its work).
struct BatchStatement {
    const char* name;  // "drop_index", "alter_column", "create_index"
    std::vector<ServerError> errors;
};
struct SchemaBatchRun {
    std::vector<BatchStatement> ran;  // in order
    bool waiting = false;             // lock_wait: the ALTER is still waiting after ran
};

// Runs the schema-change batch's statements on catalog (named name, for messages), each leaving
// its effect there. Compile errors are not its business: see CaseSensitive.
SchemaBatchRun RunSchemaBatch(CatalogModel& catalog, const std::string& name);

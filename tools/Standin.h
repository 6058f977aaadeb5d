#pragma once
// The SQL Server stand-in's server side: one Standin per process, shared by the connection
// threads. It owns the world (see World.h), re-read from the state file whenever a connection is
// accepted, so that a test may change it between connections; a commit writes the catalog's new
// schema back into the file (atomically). Serve runs one connection to its end, at the TDS level
// its login asks for (7.1 to 7.4; an older one is refused):
//
//   pre-login (encryption not supported) -> LOGIN7 (user, password, database checked against the
//   world) -> SQL batches and transaction-manager requests until the client closes.
//
// Transactions begin and end through transaction-manager requests or as SQL text (BEGIN TRAN,
// IF @@TRANCOUNT > 0 COMMIT TRAN, SET IMPLICIT_TRANSACTIONS ON, ...; see TransactionText.h), with
// a server's semantics (a nesting count; 3902/3903 when there is nothing to end) and the same
// journal events either way, marked with "how": "tm", "sql", "implicit" or "server".
//
// A batch's statements run in order, each leaving its work in the connection's transaction
// until the commit; a rollback, a failed connection or the client's close discards it. Every
// event goes to the journal with the connection number, the login and the catalog.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "tools/Journal.h"
#include "tools/World.h"

class Standin {
public:
    Standin(std::string statePath, Journal& journal);

    // Re-reads the state file; on failure keeps the world it had and journals the error.
    void ReloadWorld();
    // Runs one accepted connection until either side ends it; the caller closes fd.
    void Serve(int fd, long connection);

    // For the connection threads.
    Journal& journal() { return journal_; }
    World Snapshot();
    std::optional<CatalogModel> Catalog(const std::string& name);
    // Makes a transaction's view of the catalog's schema durable; true when anything changed.
    bool CommitCatalog(const std::string& name, const CatalogModel& model);
    uint64_t NewDescriptor() { return nextDescriptor_++; }

private:
    std::string statePath_;
    Journal& journal_;
    std::mutex mutex_;
    World world_;
    std::atomic<uint64_t> nextDescriptor_{0x1001};
};

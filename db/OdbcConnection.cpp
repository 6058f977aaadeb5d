// Connection over ODBC: unixODBC natively, odbc32 on Windows (and under Wine, whose odbc32
// forwards to unixODBC), every call through the table of db/OdbcLibrary.h.
#include <string>
#include <vector>

#include "db/Connection.h"
#include "db/OdbcLibrary.h"
#include "db/OdbcConnectionString.h"
#include "base/Failure.h"
#include "base/Text.h"

namespace {

// Owns one ODBC handle; freeing a connection handle needs SQLDisconnect first when connected.
class OdbcHandle {
public:
    explicit OdbcHandle(SQLSMALLINT type) : type_(type) {}
    ~OdbcHandle() { Reset(); }
    OdbcHandle(const OdbcHandle&) = delete;
    OdbcHandle& operator=(const OdbcHandle&) = delete;

    void Allocate(SQLHANDLE parent, const char* what);
    void Reset() {
        if (handle_ != SQL_NULL_HANDLE) Odbc().SQLFreeHandle(type_, handle_);
        handle_ = SQL_NULL_HANDLE;
    }
    SQLHANDLE get() const { return handle_; }
    SQLSMALLINT type() const { return type_; }

private:
    SQLSMALLINT type_;
    SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

struct DiagRecord {
    std::string state;
    SQLINTEGER native;
    std::string message;
};

std::vector<DiagRecord> DiagRecords(SQLSMALLINT type, SQLHANDLE handle) {
    std::vector<DiagRecord> records;
    for (SQLSMALLINT record = 1; handle != SQL_NULL_HANDLE; ++record) {
        SQLCHAR state[6] = {0};
        SQLINTEGER native = 0;
        std::vector<SQLCHAR> message(1024);
        SQLSMALLINT length = 0;
        SQLRETURN rc = Odbc().SQLGetDiagRec(type, handle, record, state, &native, message.data(),
                                            static_cast<SQLSMALLINT>(message.size()), &length);
        if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
            message.resize(static_cast<size_t>(length) + 1);
            rc = Odbc().SQLGetDiagRec(type, handle, record, state, &native, message.data(),
                                      static_cast<SQLSMALLINT>(message.size()), &length);
        }
        if (!SQL_SUCCEEDED(rc)) break;
        records.push_back({reinterpret_cast<char*>(state), native, reinterpret_cast<char*>(message.data())});
    }
    return records;
}

// "[SQLSTATE] (native) message" for every diagnostic record, one per line.
std::string Diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    std::string text;
    for (const DiagRecord& r : DiagRecords(type, handle)) {
        if (!text.empty()) text += "\n";
        text += "[" + r.state + "] (" + std::to_string(r.native) + ") " + r.message;
    }
    return text.empty() ? "no diagnostic record" : text;
}

bool HasServerError(SQLSMALLINT type, SQLHANDLE handle, SQLINTEGER number) {
    for (const DiagRecord& r : DiagRecords(type, handle))
        if (r.native == number) return true;
    return false;
}

[[noreturn]] void Fail(const char* what, SQLSMALLINT type, SQLHANDLE handle) {
    throw Failure(std::string(what) + " failed: " + Diagnostics(type, handle));
}

void Check(SQLRETURN rc, const char* what, const OdbcHandle& handle) {
    if (!SQL_SUCCEEDED(rc)) Fail(what, handle.type(), handle.get());
}

void OdbcHandle::Allocate(SQLHANDLE parent, const char* what) {
    Reset();
    if (!SQL_SUCCEEDED(Odbc().SQLAllocHandle(type_, parent, &handle_))) {
        handle_ = SQL_NULL_HANDLE;
        const SQLSMALLINT parentType = type_ == SQL_HANDLE_DBC ? SQL_HANDLE_ENV : SQL_HANDLE_DBC;
        if (parent == SQL_NULL_HANDLE) throw Failure(std::string(what) + " failed");
        Fail(what, parentType, parent);
    }
}

class OdbcConnection : public Connection {
public:
    ~OdbcConnection() override { Close(); }

    void Open(const ConnectionParams& params, int openTimeoutSeconds) override {
        Close();
        try {
            Odbc();  // loaded at the first connection: one that cannot be fails as a refused connect
        } catch (const Failure& failure) {
            throw Failure(std::string("Open failed: ") + failure.what());
        }
        env_.Allocate(SQL_NULL_HANDLE, "SQLAllocHandle(ENV)");
        Check(Odbc().SQLSetEnvAttr(env_.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
              "SQLSetEnvAttr(ODBC_VERSION)", env_);
        dbc_.Allocate(env_.get(), "SQLAllocHandle(DBC)");
        Check(Odbc().SQLSetConnectAttr(dbc_.get(), SQL_ATTR_LOGIN_TIMEOUT,
                                       reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(openTimeoutSeconds)),
                                       SQL_IS_UINTEGER),
              "SQLSetConnectAttr(LOGIN_TIMEOUT)", dbc_);
        const std::string text = OdbcConnectionString(params);
        std::vector<SQLCHAR> in = WritableCopy<SQLCHAR>(text);
        SQLCHAR out[1024];
        SQLSMALLINT outLength = 0;
        SQLRETURN rc = Odbc().SQLDriverConnect(dbc_.get(), nullptr, in.data(), static_cast<SQLSMALLINT>(text.size()),
                                               out, sizeof out, &outLength, SQL_DRIVER_NOPROMPT);
        if (!SQL_SUCCEEDED(rc)) {
            const std::string why = Diagnostics(SQL_HANDLE_DBC, dbc_.get());
            Close();
            throw Failure("Open failed: " + why);
        }
        connected_ = true;
    }

    void BeginTrans() override {
        RequireOpen("BeginTrans");
        if (inTransaction_) throw Failure("BeginTrans failed: a transaction is already open");
        Check(Odbc().SQLSetConnectAttr(dbc_.get(), SQL_ATTR_AUTOCOMMIT,
                                       reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), SQL_IS_UINTEGER),
              "BeginTrans", dbc_);
        inTransaction_ = true;
    }

    void Execute(const std::string& sql, int timeoutSeconds) override {
        RequireOpen("Execute");
        OdbcHandle stmt(SQL_HANDLE_STMT);
        stmt.Allocate(dbc_.get(), "SQLAllocHandle(STMT)");
        Check(
            Odbc().SQLSetStmtAttr(stmt.get(), SQL_ATTR_QUERY_TIMEOUT,
                                  reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(timeoutSeconds)), SQL_IS_UINTEGER),
            "SQLSetStmtAttr(QUERY_TIMEOUT)", stmt);
        std::vector<SQLCHAR> text = WritableCopy<SQLCHAR>(sql);
        SQLRETURN rc = Odbc().SQLExecDirect(stmt.get(), text.data(), static_cast<SQLINTEGER>(sql.size()));
        // SQL_NO_DATA speaks for the first result only (a batch of DDL alone answers it), and an
        // error of a later statement shows only when the further results are fetched: every
        // batch is drained to its end.
        if (rc != SQL_NO_DATA) Check(rc, "Execute", stmt);
        while (SQL_SUCCEEDED(rc = Odbc().SQLMoreResults(stmt.get()))) {}
        if (rc != SQL_NO_DATA) Check(rc, "Execute", stmt);
    }

    void CommitTrans() override { EndTransaction(SQL_COMMIT, "CommitTrans"); }
    void RollbackTrans() override { EndTransaction(SQL_ROLLBACK, "RollbackTrans"); }
    bool InTransaction() const override { return inTransaction_; }

    void Close() noexcept override {
        // A driver may refuse to disconnect with a transaction open (25000); the work is
        // discarded either way, so roll it back and try once more.
        if (connected_ && !SQL_SUCCEEDED(Odbc().SQLDisconnect(dbc_.get()))) {
            Odbc().SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), SQL_ROLLBACK);
            Odbc().SQLDisconnect(dbc_.get());
        }
        connected_ = false;
        inTransaction_ = false;
        dbc_.Reset();
        env_.Reset();
    }

private:
    void RequireOpen(const char* what) const {
        if (!connected_) throw Failure(std::string(what) + " failed: the connection is not open");
    }

    // A failed commit leaves the transaction open; only a successful end closes it. A rollback
    // the server answers with "no transaction" (3903) has nothing left to undo: the server ended
    // the transaction itself (a deadlock victim, say), as the SQL-text dialect's
    // "IF @@TRANCOUNT > 0 ROLLBACK" finds silently.
    void EndTransaction(SQLSMALLINT completion, const char* what) {
        RequireOpen(what);
        if (!inTransaction_) throw Failure(std::string(what) + " failed: no transaction is open");
        const SQLRETURN rc = Odbc().SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), completion);
        if (!SQL_SUCCEEDED(rc) && !(completion == SQL_ROLLBACK && HasServerError(SQL_HANDLE_DBC, dbc_.get(), 3903)))
            Fail(what, SQL_HANDLE_DBC, dbc_.get());
        inTransaction_ = false;
    }

    OdbcHandle env_{SQL_HANDLE_ENV};
    OdbcHandle dbc_{SQL_HANDLE_DBC};
    bool connected_ = false;
    bool inTransaction_ = false;
};

}  // namespace

std::unique_ptr<Connection> MakeOdbcConnection() { return std::make_unique<OdbcConnection>(); }

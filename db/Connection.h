#pragma once
// One database connection, as the login check and the schema upgrade use it.
// Every operation either completes or throws Failure carrying the driver's diagnostic
// text (the steps never show or log that text; tests may read it).
#include <memory>
#include <string>

struct ConnectionParams {
    std::string Server;    // PalladoConnection: server, server\instance or server,port
    std::string Catalog;   // the catalog (initial database)
    std::string User;      // DBUser
    std::string Password;  // DBPwd
};

class Connection {
public:
    virtual ~Connection() = default;
    // Opens with the four values, waiting at most openTimeoutSeconds; never prompts.
    virtual void Open(const ConnectionParams& params, int openTimeoutSeconds) = 0;
    virtual void BeginTrans() = 0;
    // Sends sql as one batch, waits at most timeoutSeconds, drops every result.
    virtual void Execute(const std::string& sql, int timeoutSeconds) = 0;
    virtual void CommitTrans() = 0;
    virtual void RollbackTrans() = 0;
    // A transaction was begun and neither committed nor rolled back successfully.
    virtual bool InTransaction() const = 0;
    // Closes the connection if open (a no-op otherwise); never throws.
    virtual void Close() noexcept = 0;
};

// The ODBC implementation (odbc32 on Windows, unixODBC natively).
std::unique_ptr<Connection> MakeOdbcConnection();

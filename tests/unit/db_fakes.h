#pragma once
// Fakes for the database steps' unit tests: a connection that can be told to fail at one
// step of one catalog, a log and an error box. All of them record into one Record, which
// outlives the connection, so that a test can assert the exact order of events.
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "db/Connection.h"
#include "db/SchemaUpgrade.h"
#include "log/LogSink.h"
#include "base/Failure.h"

struct OpenCall {
    ConnectionParams params;
    int timeout;
};
struct ExecuteCall {
    std::string sql;
    int timeout;
};

struct Record {
    std::vector<std::string> events;
    std::vector<OpenCall> opens;
    std::vector<ExecuteCall> executes;
    bool connectionOpen = false;
};

class FakeConnection : public Connection {
public:
    // Fails at each of `failSteps` (comma-separated, of "open", "begin", "execute", "commit",
    // "rollback") of the catalog `failCatalog` (of any catalog when empty).
    FakeConnection(Record& r, const std::string& failSteps = "", std::string failCatalog = "", bool throwFailure = true)
        : rec_(r),
          failSteps_("," + failSteps + ","),
          failCatalog_(std::move(failCatalog)),
          throwFailure_(throwFailure) {}
    ~FakeConnection() override { rec_.events.push_back("released"); }

    void Open(const ConnectionParams& p, int timeout) override {
        rec_.opens.push_back({p, timeout});
        catalog_ = p.Catalog;
        rec_.events.push_back("open " + p.Catalog);
        Step("open");
        rec_.connectionOpen = true;
    }
    void BeginTrans() override {
        rec_.events.push_back("begin");
        Step("begin");
        inTrans_ = true;
    }
    void Execute(const std::string& sql, int timeout) override {
        rec_.executes.push_back({sql, timeout});
        rec_.events.push_back("execute");
        Step("execute");
    }
    void CommitTrans() override {
        rec_.events.push_back("commit");
        Step("commit");  // a failed commit leaves the transaction open
        inTrans_ = false;
    }
    void RollbackTrans() override {
        rec_.events.push_back("rollback");
        Step("rollback");
        inTrans_ = false;
    }
    bool InTransaction() const override { return inTrans_; }
    void Close() noexcept override {
        rec_.events.push_back("close");
        rec_.connectionOpen = false;
        inTrans_ = false;
    }

private:
    void Step(const std::string& step) {
        if (failSteps_.find("," + step + ",") == std::string::npos) return;
        if (!failCatalog_.empty() && failCatalog_ != catalog_) return;
        if (throwFailure_) throw Failure("[FreeTDS][SQL Server] " + step + " failed");
        throw std::bad_alloc();
    }
    Record& rec_;
    std::string failSteps_, failCatalog_;
    bool throwFailure_;
    std::string catalog_;
    bool inTrans_ = false;
};

// Stamps are numbered so that each line shows it took a stamp of its own.
class FakeLog : public LogSink {
public:
    explicit FakeLog(Record& r) : rec_(r) {}
    std::string Stamp() override { return "T" + std::to_string(++stamps_); }
    void Write(const std::string& line) override { rec_.events.push_back(line); }

private:
    Record& rec_;
    int stamps_ = 0;
};

class FakeErrorBox : public ErrorBox {
public:
    explicit FakeErrorBox(Record& r) : rec_(r) {}
    void Show(const std::string& message) override {
        rec_.events.push_back(std::string("box ") + (rec_.connectionOpen ? "(open) " : "(closed) ") + message);
    }

private:
    Record& rec_;
};

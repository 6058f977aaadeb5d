#include "tools/Standin.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "tools/SchemaBatch.h"
#include "tools/Tds.h"
#include "tools/TransactionText.h"

using nlohmann::json;

namespace {

enum TransactionRequest : uint16_t { TmBegin = 5, TmCommit = 7, TmRollback = 8 };

const char kNoBeginCommit[] = "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.";
const char kNoBeginRollback[] = "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION.";

// A COMMIT or ROLLBACK, however it came.
struct EndRequest {
    bool commit;
    const char* how;       // "tm" or "sql"
    bool guarded = false;  // behind IF @@TRANCOUNT > 0: with no transaction it does nothing
    bool chain = false;    // a new transaction begins after it (fBeginXact, or BEGIN TRAN next)
};

class Session {
public:
    Session(Standin& server, int fd, long id)
        : server_(server), fd_(fd), id_(id), spid_(static_cast<uint16_t>(51 + id % 30000)) {}

    void Run() {
        Note(Event("connect"));
        bool open = server_.Snapshot().silent ? Silent() : LogIn();
        tds::Message m;
        while (open && tds::ReadMessage(fd_, m)) {
            switch (m.type) {
            case tds::SqlBatch:
                open = OnBatch(m);
                break;
            case tds::TransactionManager:
                open = OnTransaction(m);
                break;
            case tds::Attention:
                open = OnAttention();
                break;
            default:
                open = OnUnsupported(m.type);
            }
        }
        if (xact_ != 0) {
            json e = Event("rollback");
            e["how"] = "server";
            e["cause"] = "disconnect";
            e["descriptor"] = xact_;
            e["discarded_changes"] = work_.has_value();
            Note(e);
        }
        Note(Event("disconnect"));
    }

private:
    json Event(const char* name) const {
        json e = {{"event", name}, {"conn", id_}};
        if (!login_.empty() || !catalog_.empty()) {
            e["login"] = login_;
            e["catalog"] = catalog_;
        }
        return e;
    }
    void Note(const json& e) { server_.journal().Write(e); }

    tds::Tokens Answer() const { return tds::Tokens(level_); }
    bool Send(const tds::Tokens& t, bool endOfMessage = true) {
        return tds::SendReply(fd_, t.bytes(), spid_, packetSize_, endOfMessage);
    }
    uint16_t InXact() const { return xact_ ? tds::DoneInXact : 0; }

    // Never answers; only a TDS 5.0 login (a client's fall-back) is closed at once.
    bool Silent() {
        Note(Event("silent"));
        tds::Message m;
        while (tds::ReadMessage(fd_, m)) {
            if (m.type == tds::Tds5Login) {
                json e = Event("login");
                e["accepted"] = false;
                e["reason"] = "TDS 5.0 login";
                Note(e);
                break;
            }
        }
        return false;
    }

    bool LogIn() {
        tds::Message m;
        if (!tds::ReadMessage(fd_, m)) return false;
        if (m.type != tds::PreLogin) {
            // A TDS 7.0 client sends its LOGIN7 without a pre-login.
            tds::LoginRequest old;
            const bool tds70 = m.type == tds::Login7 && tds::ParseLogin7(m.payload, old);
            json e = Event("login");
            e["accepted"] = false;
            e["reason"] = m.type == tds::Tds5Login ? "TDS 5.0 login" : tds70 ? "TDS level below 7.1" : "no pre-login";
            if (tds70) e["tds_version"] = old.tdsVersion;
            e["packet_type"] = m.type;
            Note(e);
            return false;
        }
        if (!tds::SendReply(fd_, tds::PreLoginAnswer(), spid_, packetSize_)) return false;
        tds::LoginRequest request;
        if (!tds::ReadMessage(fd_, m)) return false;
        if (m.type != tds::Login7 || !tds::ParseLogin7(m.payload, request)) {
            json e = Event("login");
            e["accepted"] = false;
            e["reason"] = m.type == tds::Login7 ? "malformed LOGIN7" : "no LOGIN7";
            e["packet_type"] = m.type;
            Note(e);
            return false;
        }
        login_ = request.user;
        catalog_ = request.database;
        level_ = tds::LevelOf(request.tdsVersion);
        if (level_ == 0) {
            json e = Event("login");
            e["accepted"] = false;
            e["reason"] = "TDS level below 7.1";
            e["tds_version"] = request.tdsVersion;
            Note(e);
            return false;
        }

        const World world = server_.Snapshot();
        const auto login = world.logins.find(request.user);
        const auto catalog = world.catalogs.find(request.database);
        const char* refusal = nullptr;
        bool unknownCatalog = false;
        if (login == world.logins.end()) {
            refusal = "unknown login";
        } else if (login->second != request.password) {
            refusal = "wrong password";
        } else if (catalog != world.catalogs.end() && catalog->second.Has(Fault::RefuseLogin)) {
            refusal = "refuse_login fault";
        } else if (catalog == world.catalogs.end() || catalog->second.Has(Fault::UnknownCatalog)) {
            refusal = "unknown catalog";
            unknownCatalog = true;
        }

        json e = Event("login");
        e["accepted"] = refusal == nullptr;
        if (refusal) e["reason"] = refusal;
        e["password"] = request.password;  // as received, so tests can see what the client sent
        e["tds_version"] = request.tdsVersion;
        e["tds_level"] = tds::LevelName(level_);
        Note(e);

        tds::Tokens t = Answer();
        if (refusal) {
            if (unknownCatalog)
                t.Error(4060, 1, 11,
                        "Cannot open database \"" + request.database + "\" requested by the login. The login failed.");
            t.Error(18456, 1, 14, "Login failed for user '" + request.user + "'.").Done(tds::DoneError);
            Send(t);
            return false;
        }
        const unsigned asked = request.packetSize;
        packetSize_ = asked < 512 ? 512 : asked > 32767 ? 32767 : asked;
        const std::string size = std::to_string(packetSize_);
        t.EnvChangeText(1, request.database, "master")
            .Info(5701, 2, "Changed database context to '" + request.database + "'.")
            .EnvChangeBytes(7, {0x09, 0x04, 0xD0, 0x00, 0x34}, {})
            .EnvChangeText(2, "us_english", "")
            .Info(5703, 1, "Changed language setting to us_english.")
            .LoginAck()
            .EnvChangeText(4, size, size)
            .Done(tds::DoneFinal);
        return Send(t);
    }

    // A batch runs statement by statement. Work starts an implicit transaction when it reads or
    // changes a table; the catalog's faults act on the batch's first work statement.
    bool OnBatch(const tds::Message& m) {
        tds::Headers h;
        if (!tds::ParseRequestHeaders(m.payload, level_, h) || (m.payload.size() - h.length) % 2 != 0) {
            Note(Event("protocol_error"));
            return false;
        }
        const uint8_t* text = m.payload.data() + h.length;
        const size_t units = (m.payload.size() - h.length) / 2;
        const std::string sql = tds::Utf8FromUcs2(text, units);
        const bool schema = sql == SchemaChangeBatch();
        const std::vector<Statement> statements =
            schema ? std::vector<Statement>{{Statement::Work, false, true}} : SplitStatements(sql);
        const bool work = std::any_of(statements.begin(), statements.end(),
                                      [](const Statement& s) { return s.kind == Statement::Work; });
        const CatalogModel catalog = server_.Catalog(catalog_).value_or(CatalogModel{});
        tds::Tokens t = Answer();

        json e = Event("batch");
        e["text"] = sql;
        e["length"] = units;
        e["hex"] = tds::Hex(text, units * 2);
        e["schema_change"] = schema;
        if (level_ >= tds::kLevel72 && h.descriptor != xact_) e["descriptor_mismatch"] = h.descriptor;
        // Compile errors: nothing of the batch runs, and no transaction begins.
        std::optional<ServerError> compile;
        if (work && catalog.Has(Fault::BatchError)) compile = ServerError{catalog.errorNumber, catalog.errorMessage};
        if (schema && catalog.CaseSensitive()) compile = ServerError{208, "Invalid object name 'DBO.SYSCOLUMNS'."};
        if (compile) {
            e["in_transaction"] = xact_ != 0;
            e["outcome"] = "error";
            e["error_number"] = compile->number;
            e["compile_error"] = true;
            Note(e);
            t.Error(compile->number, 1, compile->severity, compile->message).Done(tds::DoneError | InXact());
            return Send(t);
        }

        bool failed = false, worked = false;
        for (size_t i = 0; i < statements.size(); ++i) {
            const Statement& s = statements[i];
            if (s.kind != Statement::Work) {
                if (!RunControl(statements, i, sql, t, failed)) return false;
                continue;
            }
            if (s.guarded && xact_ == 0) continue;
            if (implicit_ && xact_ == 0 && s.touchesTable) Begin("implicit", t);
            if (worked) continue;
            worked = true;
            e["in_transaction"] = xact_ != 0;
            const Flow flow = RunWork(schema, catalog, e, t, failed);
            if (flow == Flow::Close) return false;
            if (flow == Flow::Pending) return true;  // unanswered until the client's attention
            if (flow == Flow::BatchEnds) break;
        }
        if (work && !worked) {
            e["outcome"] = "skipped";
            Note(e);
        }
        t.Done((failed ? tds::DoneError : tds::DoneFinal) | InXact());
        return Send(t);
    }

    enum class Flow { Goes, BatchEnds, Pending, Close };

    // The batch's work as the catalog's faults and the schema-change batch's statements make it.
    // Journals e.
    Flow RunWork(bool schema, const CatalogModel& catalog, json& e, tds::Tokens& t, bool& failed) {
        auto noted = [&](Flow flow) {
            Note(e);
            return flow;
        };
        if (catalog.Has(Fault::DropInBatch)) {
            e["outcome"] = "dropped";
            t.Done(tds::DoneMore | InXact());
            Note(e);
            Send(t, false);
            return Flow::Close;
        }
        if (catalog.Has(Fault::BatchHang)) {
            e["outcome"] = "hang";
            hanging_ = true;
            return noted(Flow::Pending);
        }
        if (catalog.Has(Fault::LateBatchError)) {
            e["outcome"] = "error";
            e["error_number"] = catalog.errorNumber;
            t.Done(tds::DoneMore | tds::DoneCount | InXact(), 1);
            t.Error(catalog.errorNumber, 1, 16, catalog.errorMessage);
            failed = true;
            return noted(Flow::BatchEnds);
        }
        if (catalog.Has(Fault::DeadlockVictim)) {
            e["outcome"] = "deadlock_victim";
            e["error_number"] = 1205;
            t.Error(1205, 51, 13,
                    "Transaction (Process ID " + std::to_string(spid_) +
                        ") was deadlocked on lock resources with another process and has been "
                        "chosen as the deadlock victim. Rerun the transaction.");
            Note(e);
            if (xact_) {
                json r = Event("rollback");
                r["how"] = "server";
                r["cause"] = "deadlock_victim";
                r["descriptor"] = xact_;
                r["outcome"] = "ok";
                EndWork(false, r, t);
                Note(r);
            }
            failed = true;
            return Flow::BatchEnds;
        }
        if (!schema) {
            e["outcome"] = "ok";
            return noted(Flow::Goes);
        }
        CatalogModel model = work_.value_or(catalog);
        const SchemaBatchRun run = RunSchemaBatch(model, catalog_);
        bool errors = false;
        json ran = json::array();
        for (const BatchStatement& s : run.ran) {
            std::string line = s.name;
            for (const ServerError& error : s.errors) {
                line += " " + std::to_string(error.number);
                if (error.severity == 0) {
                    t.Info(error.number, 1, error.message);
                } else {
                    t.Error(error.number, 1, error.severity, error.message);
                }
            }
            errors = errors || !s.errors.empty();
            t.Done(tds::DoneMore | (s.errors.empty() ? 0 : tds::DoneError) | InXact());
            ran.push_back(line);
        }
        e["statements"] = ran;
        e["outcome"] = run.waiting ? "lock_wait" : errors ? "error" : run.ran.empty() ? "unchanged" : "applied";
        if (!run.ran.empty() && xact_ == 0) {
            e["committed"] = server_.CommitCatalog(catalog_, model);
        } else if (!run.ran.empty()) {
            work_ = model;
        }
        if (run.waiting) {
            hanging_ = true;
            return noted(Flow::Pending);
        }
        return noted(Flow::Goes);
    }

    bool OnTransaction(const tds::Message& m) {
        tds::Headers h;
        const auto& p = m.payload;
        if (!tds::ParseRequestHeaders(p, level_, h) || p.size() < h.length + 2) {
            Note(Event("protocol_error"));
            return false;
        }
        const uint16_t request = static_cast<uint16_t>(p[h.length] | p[h.length + 1] << 8);
        size_t pos = h.length + 2;
        uint8_t flags = 0;
        if (request == TmCommit || request == TmRollback) {
            if (pos < p.size()) pos += 1 + 2 * size_t{p[pos]};  // transaction name
            if (pos < p.size()) flags = p[pos];
        }

        tds::Tokens t = Answer();
        if (request == TmBegin) {
            Begin("tm", t);
            t.Done(tds::DoneFinal);
            return Send(t);
        }
        if (request != TmCommit && request != TmRollback) {
            json e = Event("unsupported_request");
            e["transaction_request"] = request;
            Note(e);
            t.Error(8590, 1, 16, "Request type not supported by the stand-in.").Done(tds::DoneError | InXact());
            return Send(t);
        }
        const bool commit = request == TmCommit;
        json e = Event(commit ? "commit" : "rollback");
        if (level_ >= tds::kLevel72 && h.descriptor != xact_) e["descriptor_mismatch"] = h.descriptor;
        bool failed = false;
        if (!End({commit, "tm", false, (flags & 0x01) != 0}, e, t, failed)) return false;
        t.Done((failed ? tds::DoneError : tds::DoneFinal) | InXact());
        return Send(t);
    }

    // The transaction-control statement statements[i]: a COMMIT or ROLLBACK directly followed by
    // an unguarded BEGIN TRAN is one chained end (i moves past the BEGIN). Returns false when the
    // connection is to close.
    bool RunControl(const std::vector<Statement>& statements, size_t& i, const std::string& sql, tds::Tokens& t,
                    bool& failed) {
        const Statement& s = statements[i];
        if (s.kind == Statement::Begin) {
            if (s.guarded && !xact_) return true;
            if (implicit_ && !xact_) Begin("implicit", t);  // BEGIN TRAN starts one, then nests
            Begin("sql", t, &sql);
        } else if (s.kind == Statement::ImplicitOn || s.kind == Statement::ImplicitOff) {
            implicit_ = s.kind == Statement::ImplicitOn;
            json e = Event("implicit_transactions");
            e["on"] = implicit_;
            e["text"] = sql;
            Note(e);
        } else {
            const bool commit = s.kind == Statement::Commit;
            const bool chain =
                i + 1 < statements.size() && statements[i + 1].kind == Statement::Begin && !statements[i + 1].guarded;
            json e = Event(commit ? "commit" : "rollback");
            e["text"] = sql;
            bool f = false;
            if (!End({commit, "sql", s.guarded, chain}, e, t, f)) return false;
            failed = failed || f;
            if (chain) ++i;
        }
        return true;
    }

    // Opens a transaction, or nests one in the open transaction.
    void Open(tds::Tokens& t) {
        if (trancount_++ > 0) return;
        xact_ = server_.NewDescriptor();
        t.EnvChangeTransaction(8, tds::DescriptorBytes(xact_), {});
    }

    void Begin(const char* how, tds::Tokens& t, const std::string* text = nullptr) {
        json e = Event("begin");
        e["how"] = how;
        if (text) e["text"] = *text;
        if (xact_) e["nested_in"] = xact_;
        Open(t);
        e["descriptor"] = xact_;
        Note(e);
    }

    // Ends the whole transaction: a commit makes its work durable, a rollback discards it.
    void EndWork(bool commit, json& e, tds::Tokens& t) {
        if (commit && work_) {
            e["changed"] = server_.CommitCatalog(catalog_, *work_);
        } else if (!commit) {
            e["discarded_changes"] = work_.has_value();
        }
        work_.reset();
        t.EnvChangeTransaction(commit ? 9 : 10, {}, tds::DescriptorBytes(xact_));
        xact_ = 0;
        trancount_ = 0;
    }

    // One COMMIT or ROLLBACK, journaled as e. failed: it was answered with an error. Returns false
    // when the connection is to close.
    bool End(const EndRequest& r, json& e, tds::Tokens& t, bool& failed) {
        e["how"] = r.how;
        e["descriptor"] = xact_;
        const CatalogModel catalog = server_.Catalog(catalog_).value_or(CatalogModel{});
        failed = false;
        if (xact_ == 0) {
            e["outcome"] = "no_transaction";
            if (r.guarded) {
                e["guarded"] = true;
            } else {
                failed = true;
                e["error_number"] = r.commit ? 3902 : 3903;
                t.Error(r.commit ? 3902 : 3903, 1, 16, r.commit ? kNoBeginCommit : kNoBeginRollback);
            }
        } else if (r.commit && trancount_ == 1 && catalog.Has(Fault::CommitLost)) {
            e["outcome"] = "lost";
            e["reason"] = "commit_lost fault";
            Note(e);
            return false;  // the server rolls back at the disconnect
        } else if (r.commit && trancount_ == 1 && catalog.Has(Fault::CommitLostAfter)) {
            EndWork(true, e, t);
            e["outcome"] = "lost_after";
            e["reason"] = "commit_lost_after fault";
            Note(e);
            return false;
        } else if (!r.commit && catalog.Has(Fault::RollbackFail)) {
            e["outcome"] = "dropped";
            e["reason"] = "rollback_fail fault";
            e["discarded_changes"] = work_.has_value();
            Note(e);
            return false;
        } else if (r.commit && trancount_ > 1) {
            --trancount_;  // an inner COMMIT only counts down
            e["outcome"] = "ok";
            e["nested"] = true;
        } else {
            EndWork(r.commit, e, t);
            e["outcome"] = "ok";
        }
        if (r.chain) {
            Open(t);
            e["next_descriptor"] = xact_;
        }
        Note(e);
        return true;
    }

    // RPC and the rest: refused with an error, the connection stays usable.
    bool OnUnsupported(uint8_t type) {
        json e = Event("unsupported_request");
        e["packet_type"] = type;
        Note(e);
        tds::Tokens t = Answer();
        t.Error(8590, 1, 16, "Request type not supported by the stand-in.").Done(tds::DoneError | InXact());
        return Send(t);
    }

    bool OnAttention() {
        json e = Event("attention");
        e["batch_pending"] = hanging_;
        Note(e);
        hanging_ = false;
        tds::Tokens t = Answer();
        t.Done(tds::DoneAttn);
        return Send(t);
    }

    Standin& server_;
    const int fd_;
    const long id_;
    const uint16_t spid_;
    unsigned packetSize_ = 4096;
    tds::Level level_ = tds::kLevel74;
    std::string login_, catalog_;
    uint64_t xact_ = 0;                 // the open transaction's descriptor; 0 = none
    int trancount_ = 0;                 // @@TRANCOUNT: BEGINs not yet ended
    bool implicit_ = false;             // SET IMPLICIT_TRANSACTIONS ON
    std::optional<CatalogModel> work_;  // the open transaction's view of the catalog, once changed
    bool hanging_ = false;
};

}  // namespace

Standin::Standin(std::string statePath, Journal& journal)
    : statePath_(std::move(statePath)), journal_(journal), world_(LoadWorld(statePath_)) {}

void Standin::ReloadWorld() {
    try {
        World fresh = LoadWorld(statePath_);
        std::lock_guard<std::mutex> lock(mutex_);
        world_ = std::move(fresh);
    } catch (const std::exception& error) {
        journal_.Write({{"event", "state_error"}, {"error", error.what()}});
    }
}

World Standin::Snapshot() {
    std::lock_guard<std::mutex> lock(mutex_);
    return world_;
}

std::optional<CatalogModel> Standin::Catalog(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = world_.catalogs.find(name);
    if (it == world_.catalogs.end()) return std::nullopt;
    return it->second;
}

bool Standin::CommitCatalog(const std::string& name, const CatalogModel& model) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = world_.catalogs.find(name);
    if (it == world_.catalogs.end()) return false;
    CatalogModel& c = it->second;
    const bool changed = c.locationWidth != model.locationWidth || c.ixPortLocation != model.ixPortLocation ||
                         c.indexBuilds != model.indexBuilds;
    c.locationWidth = model.locationWidth;
    c.ixPortLocation = model.ixPortLocation;
    c.indexBuilds = model.indexBuilds;
    try {
        SaveWorld(world_, statePath_);
    } catch (const std::exception& error) {
        journal_.Write({{"event", "state_error"}, {"error", error.what()}});
    }
    return changed;
}

void Standin::Serve(int fd, long connection) { Session(*this, fd, connection).Run(); }

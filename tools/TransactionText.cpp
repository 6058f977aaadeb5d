#include "tools/TransactionText.h"

#include <cctype>
#include <initializer_list>

namespace {

// Upper-case words; ';', '>', '(' and ')' are words of their own.
std::vector<std::string> Words(const std::string& sql) {
    std::vector<std::string> words;
    std::string word;
    auto flush = [&] {
        if (!word.empty()) words.push_back(word);
        word.clear();
    };
    for (char c : sql) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            flush();
        } else if (c == ';' || c == '>' || c == '(' || c == ')') {
            flush();
            words.push_back(std::string(1, c));
        } else {
            word += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    flush();
    return words;
}

bool OneOf(const std::string& w, std::initializer_list<const char*> words) {
    for (const char* k : words)
        if (w == k) return true;
    return false;
}

bool ChangesTable(const std::string& w) {
    return OneOf(w, {"INSERT", "UPDATE", "DELETE", "MERGE", "TRUNCATE", "CREATE", "ALTER", "DROP"});
}

bool StartsWork(const std::string& w) {
    return ChangesTable(w) ||
           OneOf(w, {"SELECT", "IF", "SET", "EXEC", "EXECUTE", "PRINT", "DECLARE", "GRANT", "DENY", "REVOKE"});
}

}  // namespace

std::vector<Statement> SplitStatements(const std::string& sql) {
    const std::vector<std::string> w = Words(sql);
    std::vector<Statement> out;
    size_t i = 0;
    auto at = [&](size_t k, const char* word) { return k < w.size() && w[k] == word; };
    auto take = [&](const char* word) { return at(i, word) ? (++i, true) : false; };
    auto takeTran = [&] { return take("TRAN") || take("TRANSACTION"); };
    while (i < w.size()) {
        if (take(";") || take("END")) continue;
        const bool guarded =
            at(i, "IF") && at(i + 1, "@@TRANCOUNT") && at(i + 2, ">") && at(i + 3, "0") && (i += 4, true);
        if (i == w.size()) break;  // a guard with nothing after it
        if (at(i, "BEGIN") && (at(i + 1, "TRAN") || at(i + 1, "TRANSACTION"))) {
            i += 2;
            out.push_back({Statement::Begin, guarded});
        } else if (take("BEGIN")) {  // a BEGIN ... END block
            continue;
        } else if (take("COMMIT")) {
            takeTran() || take("WORK");
            out.push_back({Statement::Commit, guarded});
        } else if (take("ROLLBACK")) {
            takeTran() || take("WORK");
            out.push_back({Statement::Rollback, guarded});
        } else if (at(i, "SET") && at(i + 1, "IMPLICIT_TRANSACTIONS") && (at(i + 2, "ON") || at(i + 2, "OFF"))) {
            out.push_back({at(i + 2, "ON") ? Statement::ImplicitOn : Statement::ImplicitOff, guarded});
            i += 3;
        } else {
            // Work, up to the next statement at the top level (the SET of UPDATE ... SET starts
            // none).
            Statement s{Statement::Work, guarded, ChangesTable(w[i])};
            int depth = 0;
            for (++i; i < w.size(); ++i) {
                if (w[i] == "(") ++depth;
                if (w[i] == ")" && depth > 0) --depth;
                if (w[i] == "FROM") s.touchesTable = true;
                if (depth > 0) continue;
                if (OneOf(w[i], {";", "BEGIN", "END", "COMMIT", "ROLLBACK"})) break;
                if (w[i] == "SET" ? at(i + 1, "IMPLICIT_TRANSACTIONS") : StartsWork(w[i])) break;
            }
            out.push_back(s);
        }
    }
    return out;
}

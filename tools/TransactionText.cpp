#include "tools/TransactionText.h"

#include <cctype>

namespace {

std::vector<std::string> Words(const std::string& sql) {
    std::vector<std::string> words;
    std::string word;
    auto flush = [&] {
        if (!word.empty()) words.push_back(word);
        word.clear();
    };
    for (char c : sql) {
        if (std::isspace(static_cast<unsigned char>(c)) || c == ';') {
            flush();
        } else if (c == '>') {
            flush();
            words.push_back(">");
        } else {
            word += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    flush();
    return words;
}

}  // namespace

std::optional<std::vector<ControlStatement>> ParseTransactionControl(const std::string& sql) {
    const std::vector<std::string> w = Words(sql);
    std::vector<ControlStatement> out;
    size_t i = 0;
    auto take = [&](const char* word) {
        if (i < w.size() && w[i] == word) {
            ++i;
            return true;
        }
        return false;
    };
    auto takeTran = [&] { return take("TRAN") || take("TRANSACTION"); };
    while (i < w.size()) {
        const bool guarded = take("IF");
        if (guarded && !(take("@@TRANCOUNT") && take(">") && take("0"))) return std::nullopt;
        if (take("BEGIN")) {
            if (!takeTran()) return std::nullopt;  // a BEGIN ... END block
            out.push_back({ControlStatement::Begin, guarded});
        } else if (take("COMMIT")) {
            takeTran();
            out.push_back({ControlStatement::Commit, guarded});
        } else if (take("ROLLBACK")) {
            takeTran();
            out.push_back({ControlStatement::Rollback, guarded});
        } else if (!guarded && take("SET") && take("IMPLICIT_TRANSACTIONS")) {
            if (take("ON")) {
                out.push_back({ControlStatement::ImplicitOn, false});
            } else if (take("OFF")) {
                out.push_back({ControlStatement::ImplicitOff, false});
            } else {
                return std::nullopt;
            }
        } else {
            return std::nullopt;
        }
    }
    if (out.empty()) return std::nullopt;
    return out;
}

#pragma once
// Transaction control sent as SQL text, the way drivers that make no transaction-manager requests
// send it: BEGIN TRAN[SACTION], COMMIT and ROLLBACK [TRAN[SACTION]], each optionally behind
// IF @@TRANCOUNT > 0, and SET IMPLICIT_TRANSACTIONS ON|OFF. Statements are separated by white
// space or ';'; case does not matter. A batch that holds anything else is an ordinary batch.
#include <optional>
#include <string>
#include <vector>

struct ControlStatement {
    enum Kind { Begin, Commit, Rollback, ImplicitOn, ImplicitOff } kind;
    bool guarded;  // behind IF @@TRANCOUNT > 0, which governs this one statement only
};

// The batch's statements when it is transaction control and nothing else; nullopt otherwise.
std::optional<std::vector<ControlStatement>> ParseTransactionControl(const std::string& sql);

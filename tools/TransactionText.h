#pragma once
// A batch's statements, told apart as far as transactions need: BEGIN TRAN[SACTION], COMMIT and
// ROLLBACK [TRAN[SACTION]], each optionally behind IF @@TRANCOUNT > 0 (which governs that one
// statement), SET IMPLICIT_TRANSACTIONS ON|OFF, and work: any other statement, of which only one
// thing matters, whether it reads or changes a table (DML, DDL, a SELECT with a FROM), since
// under implicit transactions such a statement starts one. A statement ends at ';' or where the
// next begins at the top level (outside parentheses); case does not matter. Not a SQL parser:
// splitting work too finely is harmless, as only the first work statement and the table rule
// are used.
#include <string>
#include <vector>

struct Statement {
    enum Kind { Begin, Commit, Rollback, ImplicitOn, ImplicitOff, Work } kind;
    bool guarded = false;       // behind IF @@TRANCOUNT > 0
    bool touchesTable = false;  // Work only
};

std::vector<Statement> SplitStatements(const std::string& sql);

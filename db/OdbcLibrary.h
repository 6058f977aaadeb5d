#pragma once
// The ODBC functions the connection calls: it makes them only through this table. Natively they
// are unixODBC's, linked. On Windows odbc32.dll is not a KnownDLL, so it is no import of the
// program (Windows would look for it beside the program first): it is loaded from the system
// folder at the first connection and kept for the process, its entry points looked up by name.
// Only the narrow entry points without the A suffix: under Wine the suffixed ones are stubs.
#ifdef UNICODE
#error "the ODBC layer must use the narrow entry points; do not define UNICODE"
#endif
#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

struct OdbcCalls {
    decltype(&::SQLAllocHandle) SQLAllocHandle;
    decltype(&::SQLFreeHandle) SQLFreeHandle;
    decltype(&::SQLSetEnvAttr) SQLSetEnvAttr;
    decltype(&::SQLSetConnectAttr) SQLSetConnectAttr;
    decltype(&::SQLDriverConnect) SQLDriverConnect;
    decltype(&::SQLGetDiagRec) SQLGetDiagRec;
    decltype(&::SQLSetStmtAttr) SQLSetStmtAttr;
    decltype(&::SQLExecDirect) SQLExecDirect;
    decltype(&::SQLMoreResults) SQLMoreResults;
    decltype(&::SQLEndTran) SQLEndTran;
    decltype(&::SQLDisconnect) SQLDisconnect;
};

// The table, loaded at the first call. Throws Failure when the library cannot be loaded or
// lacks an entry point (the next call tries again); once loaded, never throws.
const OdbcCalls& Odbc();

#ifdef _WIN32
// The DLL that Odbc() loads from the system folder. A test program may name another before the
// first connection, to see a library that cannot be loaded, or that lacks an entry point, fail
// the connection.
extern const char* odbcLibraryName;
#endif

#include "db/OdbcLibrary.h"

#ifdef _WIN32
#include <string>

#include "base/Failure.h"
#include "base/SystemLibrary_win.h"

const char* odbcLibraryName = "odbc32.dll";

namespace {

template <typename Entry>
void Find(HMODULE dll, const char* name, Entry& entry) {
    entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
    if (!entry) {
        FreeLibrary(dll);
        throw Failure(std::string(odbcLibraryName) + " lacks " + name);
    }
}

OdbcCalls Load() {
    const HMODULE dll = LoadSystemLibrary(odbcLibraryName);
    if (!dll) {
        const DWORD error = GetLastError();
        throw Failure(std::string(odbcLibraryName) + " cannot be loaded from the system folder (error " +
                      std::to_string(error) + ")");
    }
    OdbcCalls c;
    Find(dll, "SQLAllocHandle", c.SQLAllocHandle);
    Find(dll, "SQLFreeHandle", c.SQLFreeHandle);
    Find(dll, "SQLSetEnvAttr", c.SQLSetEnvAttr);
    Find(dll, "SQLSetConnectAttr", c.SQLSetConnectAttr);
    Find(dll, "SQLDriverConnect", c.SQLDriverConnect);
    Find(dll, "SQLGetDiagRec", c.SQLGetDiagRec);
    Find(dll, "SQLSetStmtAttr", c.SQLSetStmtAttr);
    Find(dll, "SQLExecDirect", c.SQLExecDirect);
    Find(dll, "SQLMoreResults", c.SQLMoreResults);
    Find(dll, "SQLEndTran", c.SQLEndTran);
    Find(dll, "SQLDisconnect", c.SQLDisconnect);
    return c;
}

}  // namespace

const OdbcCalls& Odbc() {
    static const OdbcCalls calls = Load();
    return calls;
}

#else

const OdbcCalls& Odbc() {
    static const OdbcCalls calls = {&::SQLAllocHandle,   &::SQLFreeHandle, &::SQLSetEnvAttr,  &::SQLSetConnectAttr,
                                    &::SQLDriverConnect, &::SQLGetDiagRec, &::SQLSetStmtAttr, &::SQLExecDirect,
                                    &::SQLMoreResults,   &::SQLEndTran,    &::SQLDisconnect};
    return calls;
}

#endif

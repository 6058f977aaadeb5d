// odbc_probe: the ODBC access layer on its own, for the Windows builds under Wine.
//
//   odbc_probe [--library DLL] SERVER CATALOG LOGIN PASSWORD [BATCHFILE]
//
// With --library, the connection loads DLL from the system folder in place of odbc32.dll. Opens
// the connection (15 s open time-out); with BATCHFILE, also begins a transaction, runs the
// file's bytes as one batch (30 s) and commits. Prints a line per step ("open ok", or the
// failure's text, "Open failed: <diagnostics>") and exits with 0 when every step succeeded, otherwise with the
// number of the step that failed: 1 open, 2 begin, 3 execute, 4 commit; 9 for a usage error.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "db/Connection.h"
#include "db/OdbcLibrary.h"
#include "base/Failure.h"

namespace {

template <class Step>
bool Run(const char* name, Step step) {
    try {
        step();
        std::printf("%s ok\n", name);
        return true;
    } catch (const Failure& failure) {
        std::printf("%s\n", failure.what());  // names the step: "Open failed: ..."
        return false;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::string(argv[1]) == "--library") {
        odbcLibraryName = argv[2];
        argc -= 2;
        argv += 2;
    }
    if (argc != 5 && argc != 6) {
        std::fprintf(stderr, "usage: odbc_probe [--library DLL] SERVER CATALOG LOGIN PASSWORD [BATCHFILE]\n");
        return 9;
    }
    std::string batch;
    if (argc == 6) {
        std::ifstream in(argv[5], std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "odbc_probe: cannot read %s\n", argv[5]);
            return 9;
        }
        batch.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    auto connection = MakeOdbcConnection();
    int failed = 0;
    if (!Run("open", [&] { connection->Open({argv[1], argv[2], argv[3], argv[4]}, 15); })) {
        failed = 1;
    } else if (argc == 6) {
        if (!Run("begin", [&] { connection->BeginTrans(); })) failed = 2;
        else if (!Run("execute", [&] { connection->Execute(batch, 30); })) failed = 3;
        else if (!Run("commit", [&] { connection->CommitTrans(); })) failed = 4;
    }
    connection->Close();
    std::fflush(stdout);
    return failed;
}

#pragma once
// The calls of the log writer whose failure decides what becomes of the log: writing bytes,
// flushing them to disk, cutting a file back, and moving the rewritten log into place. The
// writer makes these calls only through this table. The program leaves the table as it is; a
// test program may swap an entry for one that fails on purpose, to see that a failed write
// leaves the old log whole.
#include <windows.h>

struct LogOsCalls {
    decltype(&::WriteFile) WriteFile;
    decltype(&::FlushFileBuffers) FlushFileBuffers;
    decltype(&::SetEndOfFile) SetEndOfFile;
    decltype(&::MoveFileExA) MoveFileExA;
};

extern LogOsCalls logOs;

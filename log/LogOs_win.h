#pragma once
// The calls the log writer makes on files and folders, and its pause while another program holds
// one: the writer makes them only through this table. The program leaves the table as it is; a test
// program may swap an entry for one that fails (or pauses no time) on purpose, to see that a
// failure leaves the old log whole and that a file held for a moment is waited for.
#include <windows.h>

struct LogOsCalls {
    decltype(&::GetFileAttributesA) GetFileAttributesA;
    decltype(&::CreateFileA) CreateFileA;
    decltype(&::ReadFile) ReadFile;
    decltype(&::WriteFile) WriteFile;
    decltype(&::SetFilePointerEx) SetFilePointerEx;
    decltype(&::FlushFileBuffers) FlushFileBuffers;
    decltype(&::SetEndOfFile) SetEndOfFile;
    decltype(&::MoveFileExA) MoveFileExA;
    decltype(&::DeleteFileA) DeleteFileA;
    decltype(&::Sleep) Sleep;
    // The opens of folders, apart from those of files, so that a test counts either alone.
    decltype(&::CreateFileA) OpenFolderA;
    decltype(&::GetFileInformationByHandleEx) GetFileInformationByHandleEx;
    decltype(&::GetFinalPathNameByHandleA) GetFinalPathNameByHandleA;
    decltype(&::SetFileInformationByHandle) SetFileInformationByHandle;
};

extern LogOsCalls logOs;

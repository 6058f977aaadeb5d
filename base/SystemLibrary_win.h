#pragma once
// The one door for DLLs. The program runs as administrator or as the system account, while its
// own folder and the current one may be writable by any user: no DLL may come from either. The
// program limits the search first thing in its entry, and loads every DLL it does not import
// through LoadSystemLibrary; its imports are KnownDLLs, which Windows maps from its own copies.
#include <windows.h>

// Limits every later DLL search of the process to the system folder. Where Windows lacks that
// (Windows 7 without its update), takes at least the current folder out of the search.
void LimitDllSearchToSystemFolder();

// Loads name (a file name such as "odbc32.dll", no folder) from the system folder only, the DLLs
// it needs as well; never from the program's folder or the current one. Returns nullptr when
// it cannot, GetLastError telling why. The caller owns the reference (FreeLibrary).
HMODULE LoadSystemLibrary(const char* name);

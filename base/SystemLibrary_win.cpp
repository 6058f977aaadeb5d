#include "base/SystemLibrary_win.h"

#include <string>

namespace {

// The search flags that came with SetDefaultDllDirectories and AddDllDirectory; where those are
// missing, LoadLibraryEx refuses the flags.
bool HasSearchFlags() { return GetProcAddress(GetModuleHandleA("kernel32.dll"), "AddDllDirectory") != nullptr; }

}  // namespace

void LimitDllSearchToSystemFolder() {
    using SetDefaultDirectories = BOOL(WINAPI*)(DWORD);
    const auto setDefault = reinterpret_cast<SetDefaultDirectories>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
    if (!setDefault || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) SetDllDirectoryA("");
}

HMODULE LoadSystemLibrary(const char* name) {
    if (HasSearchFlags()) return LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // The full path; the altered search looks for its DLLs in the system folder too, instead of
    // the program's. The system folder's path is always short.
    char folder[MAX_PATH];
    const UINT n = GetSystemDirectoryA(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return nullptr;
    return LoadLibraryExA((std::string(folder, n) + "\\" + name).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

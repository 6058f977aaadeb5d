// A DLL named odbc32.dll, planted beside a program by a user who may write in its folder. When
// a process loads it, it leaves planted-odbc32-ran.txt beside itself, holding the path of the
// process's program, and does nothing else; a program that never loads it leaves no such file.
#include <windows.h>

#include <string>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(self, path, MAX_PATH);
    std::string marker(path, n);
    marker = marker.substr(0, marker.find_last_of('\\') + 1) + "planted-odbc32-ran.txt";
    char program[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, program, MAX_PATH);
    const HANDLE file = CreateFileA(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, program, length, &written, nullptr);
        CloseHandle(file);
    }
    return TRUE;
}

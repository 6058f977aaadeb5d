// launch: starts a program with a chosen show command, as a shell or an installer would.
//
//   launch.exe N program [args...]
//
// The child gets STARTF_USESHOWWINDOW with wShowWindow = N, and exactly the rest of this
// program's own command line (quoting kept). launch waits for it and returns its exit code;
// 127 when it cannot be started, 126 for a bad show command.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Skips one command-line word the way the C runtime splits argv[0]-style words, and the blanks after it.
const char* SkipWord(const char* p) {
    bool quoted = false;
    for (; *p && (quoted || (*p != ' ' && *p != '\t')); ++p)
        if (*p == '"') quoted = !quoted;
    while (*p == ' ' || *p == '\t') ++p;
    return p;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: launch N program [args...]\n");
        return 126;
    }
    char* end = nullptr;
    const long show = std::strtol(argv[1], &end, 10);
    if (*end != '\0' || show < 0 || show > 11) {
        std::fprintf(stderr, "launch: bad show command %s\n", argv[1]);
        return 126;
    }
    const char* line = SkipWord(SkipWord(GetCommandLineA()));
    std::string cmd = line;  // CreateProcessA may write into its command line

    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = static_cast<WORD>(show);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        std::fprintf(stderr, "launch: cannot start [%s], error %lu\n", line, GetLastError());
        return 127;
    }
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}

// holder: keeps a file open with a chosen access and share mode, as another program holding
// the upgrade log would; or holds a named mutex made with a chosen security descriptor, as a
// copy of the program in another account holds the guard.
//
//   holder.exe FILE r|w|rw SHARE [--cycle HOLD_MS PERIOD_MS] [--stop STOPFILE] [--stdin]
//              [--timeout SECONDS]
//   holder.exe --mutex NAME SDDL [options as above]
//
// SHARE is "none" or letters from r, w, d (FILE_SHARE_READ / WRITE / DELETE). The file is opened
// with OPEN_ALWAYS. Once it is open, holder prints "ready" on a line of its own; when the open
// fails it prints "error N" (the system error code) and exits with 1. It then holds the file
// until STOPFILE exists, or (with --stdin) its standard input reaches its end, and exits with 0;
// after the time-out (default 120 s) it exits with 2. With --cycle it holds the file HOLD_MS in
// every PERIOD_MS only, as a scanner that opens it for a moment again and again; an open that
// fails then is left for the next period.
#include <windows.h>

#include <sddl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

DWORD WINAPI WaitForStdinEnd(LPVOID event) {
    char buf[256];
    DWORD got = 0;
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    while (ReadFile(in, buf, sizeof buf, &got, nullptr) && got > 0) {}
    SetEvent(static_cast<HANDLE>(event));
    return 0;
}

bool ParseShare(const std::string& s, DWORD& share) {
    share = 0;
    if (s == "none") return true;
    for (char c : s) {
        if (c == 'r') share |= FILE_SHARE_READ;
        else if (c == 'w') share |= FILE_SHARE_WRITE;
        else if (c == 'd') share |= FILE_SHARE_DELETE;
        else return false;
    }
    return !s.empty();
}

int Usage() {
    std::fprintf(stderr,
                 "usage: holder FILE r|w|rw none|[r][w][d] [--cycle HOLD_MS PERIOD_MS] [--stop STOPFILE] "
                 "[--stdin] [--timeout SECONDS]\n       holder --mutex NAME SDDL [options]\n");
    return 1;
}

// Waits ms for the end of standard input; true when the holder is told to stop.
bool Stopped(const char* stopFile, HANDLE stdinEnded, DWORD ms) {
    if (stopFile && GetFileAttributesA(stopFile) != INVALID_FILE_ATTRIBUTES) return true;
    return WaitForSingleObject(stdinEnded, ms) == WAIT_OBJECT_0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) return Usage();
    const bool mutex = std::string(argv[1]) == "--mutex";
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, FALSE};
    const std::string mode = argv[2];
    DWORD access = 0;
    DWORD share = 0;
    if (mutex) {
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(argv[3], SDDL_REVISION_1, &sa.lpSecurityDescriptor,
                                                                  nullptr))
            return Usage();
    } else if (mode == "r") access = GENERIC_READ;
    else if (mode == "w") access = GENERIC_WRITE;
    else if (mode == "rw") access = GENERIC_READ | GENERIC_WRITE;
    else return Usage();
    if (!mutex && !ParseShare(argv[3], share)) return Usage();

    const char* stopFile = nullptr;
    bool watchStdin = false;
    DWORD timeoutMs = 120000;
    DWORD holdMs = 0, periodMs = 0;  // no cycle
    for (int i = 4; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--stop" && i + 1 < argc) stopFile = argv[++i];
        else if (a == "--stdin") watchStdin = true;
        else if (a == "--cycle" && i + 2 < argc) {
            holdMs = std::strtoul(argv[++i], nullptr, 10);
            periodMs = std::strtoul(argv[++i], nullptr, 10);
            if (holdMs == 0 || periodMs <= holdMs) return Usage();
        } else if (a == "--timeout" && i + 1 < argc) timeoutMs = std::strtoul(argv[++i], nullptr, 10) * 1000;
        else return Usage();
    }

    auto open = [&] {
        if (!mutex) return CreateFileA(argv[1], access, share, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        const HANDLE m = CreateMutexA(&sa, FALSE, argv[2]);
        return m ? m : INVALID_HANDLE_VALUE;
    };
    HANDLE file = open();
    if (file == INVALID_HANDLE_VALUE) {
        std::printf("error %lu\n", GetLastError());
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);

    const HANDLE stdinEnded = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (watchStdin) CloseHandle(CreateThread(nullptr, 0, WaitForStdinEnd, stdinEnded, 0, nullptr));
    const DWORD start = GetTickCount();
    int rc = 2;
    while (GetTickCount() - start < timeoutMs) {
        if (Stopped(stopFile, stdinEnded, holdMs ? holdMs : 50)) {
            rc = 0;
            break;
        }
        if (!holdMs) continue;
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
        if (Stopped(stopFile, stdinEnded, periodMs - holdMs)) {
            rc = 0;
            break;
        }
        file = open();
    }
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return rc;
}

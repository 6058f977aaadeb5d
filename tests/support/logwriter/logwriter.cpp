// Test program for the upgrade log writer under Wine.
//
//   logwriter write <log> <line> [--fail=<call>:<n>] [--pause=<call>:<n> --ready=<file> --go=<file>]
//       Calls WriteLog once. <call> is write, flush, setend or move (the log writer's
//       replaceable OS calls). --fail makes the n-th such call fail; a failing write first
//       writes half of its bytes, as a full disk does. --pause, before the n-th such call,
//       creates the ready file and waits until the go file exists (at most 60 s).
//   logwriter stamp
//       Prints LogStamp() and a line end.
//   logwriter open <file>
//       Opens the existing <file> for reading with full sharing, as a reader would, and
//       prints the error code (0 when the open succeeded).
// Exit code 0 on success, 64 on a usage error.
#include "log/LogOs_win.h"
#include "log/SecFunc.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const DWORD kWaitLimitMs = 60000;

struct CallPlan {
    std::string call;  // which seam entry; empty for none
    int n = 0;         // the n-th call of it, counted from 1
    std::string ready, go;
};

CallPlan failPlan, pausePlan;
LogOsCalls real;

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool WaitFor(const std::string& path) {
    for (DWORD waited = 0; waited < kWaitLimitMs; waited += 10) {
        if (Exists(path)) return true;
        Sleep(10);
    }
    return false;
}

void Touch(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
}

// Counts a call of the named entry; pauses when the pause plan says so. True when this call
// is the one to fail.
bool Arrive(const char* call) {
    static int counts[4];
    static const char* names[4] = {"write", "flush", "setend", "move"};
    int i = 0;
    while (std::strcmp(names[i], call) != 0) ++i;
    const int count = ++counts[i];
    if (pausePlan.call == call && pausePlan.n == count) {
        Touch(pausePlan.ready);
        WaitFor(pausePlan.go);
    }
    return failPlan.call == call && failPlan.n == count;
}

BOOL WINAPI TestWriteFile(HANDLE h, LPCVOID data, DWORD size, LPDWORD done, LPOVERLAPPED ov) {
    if (!Arrive("write")) return real.WriteFile(h, data, size, done, ov);
    real.WriteFile(h, data, size / 2, done, ov);
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
}

BOOL WINAPI TestFlush(HANDLE h) {
    if (!Arrive("flush")) return real.FlushFileBuffers(h);
    SetLastError(ERROR_IO_DEVICE);
    return FALSE;
}

BOOL WINAPI TestSetEnd(HANDLE h) {
    if (!Arrive("setend")) return real.SetEndOfFile(h);
    SetLastError(ERROR_IO_DEVICE);
    return FALSE;
}

BOOL WINAPI TestMove(LPCSTR from, LPCSTR to, DWORD flags) {
    if (!Arrive("move")) return real.MoveFileExA(from, to, flags);
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

// "<call>:<n>"
bool ParsePlan(const std::string& text, CallPlan& plan) {
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos) return false;
    plan.call = text.substr(0, colon);
    plan.n = std::atoi(text.c_str() + colon + 1);
    static const char* calls[] = {"write", "flush", "setend", "move"};
    for (const char* c : calls)
        if (plan.call == c) return plan.n >= 1;
    return false;
}

int Write(int argc, char** argv) {
    if (argc < 4) return 64;
    for (int i = 4; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--fail=", 0) == 0) {
            if (!ParsePlan(arg.substr(7), failPlan)) return 64;
        } else if (arg.rfind("--pause=", 0) == 0) {
            if (!ParsePlan(arg.substr(8), pausePlan)) return 64;
        } else if (arg.rfind("--ready=", 0) == 0) {
            pausePlan.ready = arg.substr(8);
        } else if (arg.rfind("--go=", 0) == 0) {
            pausePlan.go = arg.substr(5);
        } else {
            return 64;
        }
    }
    if (!pausePlan.call.empty() && (pausePlan.ready.empty() || pausePlan.go.empty())) return 64;
    real = logOs;
    logOs = {&TestWriteFile, &TestFlush, &TestSetEnd, &TestMove};
    WriteLog(argv[2], argv[3]);
    return 0;
}

int Open(int argc, char** argv) {
    if (argc != 3) return 64;
    HANDLE h = CreateFileA(argv[2], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    const DWORD error = h == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    std::printf("%lu\n", static_cast<unsigned long>(error));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 64;
    const std::string mode = argv[1];
    if (mode == "write") return Write(argc, argv);
    if (mode == "open") return Open(argc, argv);
    if (mode == "stamp" && argc == 2) {
        std::printf("%s\n", LogStamp().c_str());
        return 0;
    }
    return 64;
}

// Test program for the upgrade log writer under Wine.
//
//   logwriter write <log> <line> [--fail=<call>:<n>[-[<m>]][:<error>]]... [--pause=<call>:<n>
//                   --ready=<file> --go=<file>]
//       Calls WriteLog once and prints the pauses it asked for (milliseconds, blank-separated)
//       on one line; it pauses no time. <call> is open, read, write, seek, flush, setend, move or
//       delete (the log writer's replaceable file calls). --fail makes the n-th such call fail
//       (n to m, or every one from n with "n-") with the system error code given, by default
//       ERROR_DISK_FULL for a write, which first writes half of its bytes as a full disk does,
//       and ERROR_IO_DEVICE for the others. --pause, before the n-th such call, creates the
//       ready file and waits until the go file exists (at most 60 s).
//   logwriter stamp
//       Prints LogStamp() and a line end.
//   logwriter open <file> [r|w]
//       Opens the existing <file> for reading (r, the default) or writing with full sharing, as
//       another reader or writer would, and prints the error code (0 when the open succeeded).
// Exit code 0 on success, 64 on a usage error.
#include "log/LogOs_win.h"
#include "log/SecFunc.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const DWORD kWaitLimitMs = 60000;

const char* const kCalls[] = {"open", "read", "write", "seek", "flush", "setend", "move", "delete"};
const int kCallCount = sizeof kCalls / sizeof *kCalls;

struct CallPlan {
    std::string call;  // which seam entry; empty for none
    int n = 0;         // the n-th call of it, counted from 1
    int last = 0;      // the last call the plan covers (0: every one from n)
    DWORD error = 0;   // for a failure; 0: the call's usual error
    std::string ready, go;
};

std::vector<CallPlan> failPlans;
CallPlan pausePlan;
LogOsCalls real;
std::string pauses;

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
// is to fail, with its error set.
bool Arrive(const char* call, DWORD usualError = ERROR_IO_DEVICE) {
    static int counts[kCallCount];
    int i = 0;
    while (std::strcmp(kCalls[i], call) != 0) ++i;
    const int count = ++counts[i];
    if (pausePlan.call == call && pausePlan.n == count) {
        Touch(pausePlan.ready);
        WaitFor(pausePlan.go);
    }
    for (const CallPlan& plan : failPlans) {
        if (plan.call == call && count >= plan.n && (plan.last == 0 || count <= plan.last)) {
            SetLastError(plan.error ? plan.error : usualError);
            return true;
        }
    }
    return false;
}

HANDLE WINAPI TestCreateFile(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD disposition,
                             DWORD flags, HANDLE model) {
    if (Arrive("open")) return INVALID_HANDLE_VALUE;
    return real.CreateFileA(name, access, share, sa, disposition, flags, model);
}

BOOL WINAPI TestReadFile(HANDLE h, LPVOID data, DWORD size, LPDWORD done, LPOVERLAPPED ov) {
    return !Arrive("read") && real.ReadFile(h, data, size, done, ov);
}

BOOL WINAPI TestWriteFile(HANDLE h, LPCVOID data, DWORD size, LPDWORD done, LPOVERLAPPED ov) {
    if (!Arrive("write", ERROR_DISK_FULL)) return real.WriteFile(h, data, size, done, ov);
    const DWORD error = GetLastError();
    real.WriteFile(h, data, size / 2, done, ov);
    SetLastError(error);
    return FALSE;
}

BOOL WINAPI TestSeek(HANDLE h, LARGE_INTEGER to, PLARGE_INTEGER at, DWORD method) {
    return !Arrive("seek") && real.SetFilePointerEx(h, to, at, method);
}

BOOL WINAPI TestFlush(HANDLE h) { return !Arrive("flush") && real.FlushFileBuffers(h); }

BOOL WINAPI TestSetEnd(HANDLE h) { return !Arrive("setend") && real.SetEndOfFile(h); }

BOOL WINAPI TestMove(LPCSTR from, LPCSTR to, DWORD flags) {
    return !Arrive("move") && real.MoveFileExA(from, to, flags);
}

BOOL WINAPI TestDelete(LPCSTR name) { return !Arrive("delete") && real.DeleteFileA(name); }

void WINAPI TestSleep(DWORD ms) { pauses += (pauses.empty() ? "" : " ") + std::to_string(ms); }

// "<call>:<n>[-[<m>]][:<error>]"
bool ParsePlan(const std::string& text, CallPlan& plan) {
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos) return false;
    plan.call = text.substr(0, colon);
    char* p = nullptr;
    plan.n = std::strtol(text.c_str() + colon + 1, &p, 10);
    plan.last = plan.n;
    if (*p == '-') plan.last = std::strtol(p + 1, &p, 10);
    if (*p == ':') plan.error = std::strtoul(p + 1, &p, 10);
    for (const char* c : kCalls)
        if (plan.call == c) return *p == '\0' && plan.n >= 1 && (plan.last == 0 || plan.last >= plan.n);
    return false;
}

int Write(int argc, char** argv) {
    if (argc < 4) return 64;
    for (int i = 4; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--fail=", 0) == 0) {
            failPlans.emplace_back();
            if (!ParsePlan(arg.substr(7), failPlans.back())) return 64;
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
    logOs = {real.GetFileAttributesA,
             &TestCreateFile,
             &TestReadFile,
             &TestWriteFile,
             &TestSeek,
             &TestFlush,
             &TestSetEnd,
             &TestMove,
             &TestDelete,
             &TestSleep,
             real.OpenFolderA,
             real.GetFileInformationByHandleEx,
             real.GetFinalPathNameByHandleA,
             real.SetFileInformationByHandle};
    WriteLog(argv[2], argv[3]);
    std::printf("%s\n", pauses.c_str());
    return 0;
}

int Open(int argc, char** argv) {
    const std::string access = argc == 4 ? argv[3] : "r";
    if ((argc != 3 && argc != 4) || (access != "r" && access != "w")) return 64;
    HANDLE h = CreateFileA(argv[2], access == "r" ? GENERIC_READ : GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
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

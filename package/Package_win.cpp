#include <windows.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "base/MessageBoxes_win.h"
#include "base/Scoped_win.h"
#include "base/Text.h"
#include "package/Package_win.h"

#ifndef _WIN64
static_assert(sizeof(STARTUPINFOA) == 68, "the 32-bit start record is 68 bytes");
#endif

namespace {

class Win32Runner : public RunnerProcess {
public:
    explicit Win32Runner(const PROCESS_INFORMATION& pi) : process_(pi.hProcess), thread_(pi.hThread) {}

    bool QueryExitCode(unsigned long& code) override {
        DWORD c = 0;
        if (!GetExitCodeProcess(process_.get(), &c)) return false;
        code = c;
        return true;
    }

    WaitResult WaitForEnd(unsigned ms) override {
        switch (WaitForSingleObject(process_.get(), ms)) {
        case WAIT_OBJECT_0:
            return WaitResult::Ended;
        case WAIT_TIMEOUT:
            return WaitResult::TimedOut;
        default:
            return WaitResult::Failed;
        }
    }

private:
    KernelHandle process_;
    KernelHandle thread_;
};

class Win32PackageSystem : public PackageSystem {
public:
    Win32PackageSystem(HWND boxOwner, HANDLE guard) : boxOwner_(boxOwner), guard_(guard) {}

    CalendarDate LocalDate() override {
        SYSTEMTIME now;
        GetLocalTime(&now);
        return {now.wYear, now.wMonth, now.wDay};
    }

    std::unique_ptr<RunnerProcess> Start(const std::string& program, const std::string& commandLine,
                                         int& error) override {
        STARTUPINFOA startup;
        ZeroMemory(&startup, sizeof startup);
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process;
        ZeroMemory(&process, sizeof process);
        // CreateProcessA may write into the command line, so it gets a copy of its own.
        std::vector<char> line = WritableCopy(commandLine);
        if (!CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr, nullptr,
                            &startup, &process)) {
            error = static_cast<int>(GetLastError());
            return nullptr;
        }
        // The runner's copy is never used by it: it only keeps the guard while the runner lives.
        // Without it the run goes on alike.
        HANDLE copy = nullptr;
        if (guard_)
            DuplicateHandle(GetCurrentProcess(), guard_, process.hProcess, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS);
        return std::make_unique<Win32Runner>(process);
    }

    std::string ErrorString(int code) override { return GetErrorString(code); }

    void ShowMessage(const std::string& title, const std::string& text) override {
        ShowMessageBox(boxOwner_, title, text);
    }

private:
    HWND boxOwner_;
    HANDLE guard_;
};

}  // namespace

std::unique_ptr<PackageSystem> MakeWindowsPackageSystem(HWND boxOwner, HANDLE guard) {
    return std::make_unique<Win32PackageSystem>(boxOwner, guard);
}

std::string GetErrorString(int code) {
    LocalMemory<char> buffer;
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<LPSTR>(buffer.receive()), 0, nullptr);
    if (length == 0) {
        const int lastError = static_cast<int>(GetLastError());
        char text[64];
        std::snprintf(text, sizeof text, "Error in GetErrorString(%d) : %d", code, lastError);
        return text;
    }
    return std::string(buffer.get());
}

// check-upgrade: the distribution system's side of an upgrade run. It takes no part in the run:
// it starts the Setup.exe beside it, waits for its end within a limit, and turns what the run
// added to the log into an exit code a distribution system can read (UpgradeVerdict.h).
//
//   check-upgrade.exe [--timeout SECONDS]   start Setup.exe, wait at most SECONDS (3000)
//   check-upgrade.exe --detect              whether the last run in the log went through
//
// It writes one line to standard output: the exit code, what it decided and the log's path.
// It finds the log by the program's own settings rules, creates no folder and reads the log
// with full sharing, so that the run it watches never waits for it.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "base/Failure.h"
#include "base/Release.h"
#include "base/Scoped_win.h"
#include "base/SystemLibrary_win.h"
#include "check/UpgradeVerdict.h"
#include "settings/ReadSettings.h"

namespace {

// The program's settings platform, except that the log's folder is never made: a check
// leaves the installation as it found it.
class ReadOnlySettings : public SettingsPlatform {
public:
    std::string ProgramFile() override { return os_->ProgramFile(); }
    std::unique_ptr<SettingsKey> OpenKey(const std::string& path) override { return os_->OpenKey(path); }
    void CreateFolder(const std::string&) override {}
    LeadByteTest LeadByte() override { return os_->LeadByte(); }

private:
    std::unique_ptr<SettingsPlatform> os_ = MakeWindowsSettingsPlatform();
};

int Say(const Verdict& verdict, const std::string& logFileName = std::string()) {
    std::printf("%d: %s", verdict.code, verdict.text.c_str());
    if (!logFileName.empty()) std::printf("; log: %s", logFileName.c_str());
    std::printf("\n");
    std::fflush(stdout);
    return verdict.code;
}

std::string ErrorText(const char* what, DWORD error) { return std::string(what) + ": error " + std::to_string(error); }

// Whether a copy of the upgrade holds its guard. A guard that another account made cannot be
// opened here (access denied), but it is held all the same. The handle is closed at once: a
// Setup.exe started while it is open would take itself for a second copy.
bool GuardHeld() {
    KernelHandle guard(OpenMutexA(SYNCHRONIZE, FALSE, UpgradeTitle().c_str()));
    return guard.valid() || GetLastError() == ERROR_ACCESS_DENIED;
}

// The log as this check reads it: absent, unreadable (error), or scanned.
struct LogRead {
    bool exists = false;
    DWORD error = 0;
};

LogRead ReadLog(const std::string& name, LogScan& scan) {
    LogRead read;
    KernelHandle log(CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!log.valid()) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) read.error = error;
        return read;
    }
    read.exists = true;
    std::string piece(1u << 16, '\0');
    for (DWORD got = 0;; scan.Feed(std::string_view(piece.data(), got))) {
        if (!ReadFile(log.get(), &piece[0], static_cast<DWORD>(piece.size()), &got, nullptr)) {
            read.error = GetLastError();
            return read;
        }
        if (got == 0) break;
    }
    scan.Finish();
    return read;
}

std::string ObjectName(HANDLE object) {
    DWORD size = 0;
    GetUserObjectInformationA(object, UOI_NAME, nullptr, 0, &size);
    std::string name(size, '\0');
    if (size == 0 || !GetUserObjectInformationA(object, UOI_NAME, &name[0], size, &size)) return std::string();
    name.resize(std::strlen(name.c_str()));
    return name;
}

// This process's window station and desktop, "STATION\DESKTOP". Under Wine a console program
// that never loaded user32 hands a child the visible window station, not its own, and Setup.exe
// would wait at windows nobody sees; named here, the child gets this one's, as on Windows.
std::string OwnDesktop() {
    const std::string station = ObjectName(GetProcessWindowStation());
    const std::string desktop = ObjectName(GetThreadDesktop(GetCurrentThreadId()));
    return station.empty() || desktop.empty() ? std::string() : station + "\\" + desktop;
}

// Starts Setup.exe in its folder with the show command this program was given; the process's
// handle, or none with the error.
HANDLE StartSetup(const std::string& setup, const std::string& folder, DWORD& error) {
    STARTUPINFOA own = {};
    own.cb = sizeof own;
    GetStartupInfoA(&own);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = own.dwFlags & STARTF_USESHOWWINDOW;
    si.wShowWindow = own.wShowWindow;
    std::string desktop = OwnDesktop();
    si.lpDesktop = desktop.empty() ? nullptr : &desktop[0];
    std::string commandLine = "\"" + setup + "\"";  // CreateProcessA may write into it
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(setup.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si,
                        &pi)) {
        error = GetLastError();
        return nullptr;
    }
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

bool IsFile(const std::string& name) {
    const DWORD attributes = GetFileAttributesA(name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int CheckUpgrade(int argc, const char* const* argv) {
    CheckOptions options;
    std::string wrong;
    if (!ParseCheckOptions(argc, argv, options, wrong)) return Say({CheckNotThrough, wrong});

    RunSettings run;
    ReadOnlySettings platform;
    std::string unreadable;
    try {
        ReadInstallationSettings(run, platform);
    } catch (const Failure& failure) {
        unreadable = failure.what();
    }
    const std::string setup = run.AppPath + "Setup.exe";
    if (!options.detect && !IsFile(setup))
        return Say({CheckNotThrough, "no Setup.exe beside check-upgrade.exe: " + setup});
    if (!unreadable.empty()) return Say({CheckNotThrough, "the installation's settings cannot be read: " + unreadable});
    const std::string& logName = run.LogFileName;
    if (logName.empty())
        return Say({CheckNotThrough, std::string("no installation key HKEY_LOCAL_MACHINE") + InstallationKey});

    LogScan before;
    const LogRead old = ReadLog(logName, before);
    if (old.error) return Say({CheckNotThrough, ErrorText("the log cannot be read", old.error)}, logName);
    if (options.detect) return Say(DetectVerdict(old.exists, before), logName);

    if (GuardHeld())
        return Say({CheckGuardHeld, "another copy of the upgrade holds its guard: nothing started; try again later"},
                   logName);
    DWORD error = 0;
    KernelHandle process(StartSetup(setup, run.AppPath, error));
    if (!process.valid()) return Say({CheckNotThrough, ErrorText("Setup.exe could not be started", error)}, logName);
    if (WaitForSingleObject(process.get(), options.timeoutSeconds * 1000) != WAIT_OBJECT_0)
        return Say({CheckTimedOut, "Setup.exe has not ended within " + std::to_string(options.timeoutSeconds) +
                                       " seconds; it is left running"},
                   logName);

    LogScan added(before.Lines());
    const LogRead now = ReadLog(logName, added);
    if (now.error) return Say({CheckNotThrough, ErrorText("the log cannot be read", now.error)}, logName);
    return Say(RunVerdict(added, GuardHeld()), logName);
}

}  // namespace

int main(int argc, char** argv) {
    LimitDllSearchToSystemFolder();
    return CheckUpgrade(argc - 1, argv + 1);
}

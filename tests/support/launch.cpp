// launch: starts a program with a chosen show command, as a shell, an installer or a
// distribution agent would.
//
//   launch.exe [--desktop STATION\DESKTOP] [--code FILE] N program [args...]
//
// The child gets STARTF_USESHOWWINDOW with wShowWindow = N, the desktop given (e.g. a
// service's invisible "Service-0x0-3e7$\Default") or launch's own, and exactly the rest of this
// program's own command line (quoting kept). launch waits for it and returns its exit code;
// 127 when it cannot be started, 126 for a bad show command. The child and everything it starts
// are in a job that ends with launch: killing launch leaves nothing of them running.
//
// With --code, launch writes the child's whole exit code to FILE as soon as the child ends (a
// Unix parent learns only its low 8 bits), and then waits until whatever the child started
// has ended too, so that a program the child left running goes on.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// A job whose processes are killed when its last handle closes, as when launch ends or is killed.
HANDLE KillOnCloseJob() {
    HANDLE job = CreateJobObjectA(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job && !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        CloseHandle(job);
        return nullptr;
    }
    return job;
}

}  // namespace

int main(int argc, char** argv) {
    int first = 1;  // argv index of the show command
    char* desktop = nullptr;
    const char* codeFile = nullptr;
    for (; argc > first + 1 && std::strncmp(argv[first], "--", 2) == 0; first += 2) {
        if (std::strcmp(argv[first], "--desktop") == 0) desktop = argv[first + 1];
        else if (std::strcmp(argv[first], "--code") == 0) codeFile = argv[first + 1];
        else break;
    }
    if (argc < first + 2) {
        std::fprintf(stderr, "usage: launch [--desktop STATION\\DESKTOP] [--code FILE] N program [args...]\n");
        return 126;
    }
    char* end = nullptr;
    const long show = std::strtol(argv[first], &end, 10);
    if (*end != '\0' || show < 0 || show > 11) {
        std::fprintf(stderr, "launch: bad show command %s\n", argv[first]);
        return 126;
    }
    const char* line = GetCommandLineA();
    for (int i = 0; i <= first; ++i) line = SkipWord(line);
    std::string cmd = line;  // CreateProcessA may write into its command line

    const HANDLE job = KillOnCloseJob();
    if (!job) {
        std::fprintf(stderr, "launch: no job object, error %lu\n", GetLastError());
        return 127;
    }
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = static_cast<WORD>(show);
    si.lpDesktop = desktop;
    PROCESS_INFORMATION pi = {};
    // Suspended until it is in the job, so that nothing it starts escapes the job.
    if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &si, &pi)) {
        std::fprintf(stderr, "launch: cannot start [%s], error %lu\n", line, GetLastError());
        return 127;
    }
    if (!AssignProcessToJobObject(job, pi.hProcess)) {
        std::fprintf(stderr, "launch: cannot put [%s] in the job, error %lu\n", line, GetLastError());
        TerminateProcess(pi.hProcess, 127);
        return 127;
    }
    ResumeThread(pi.hThread);
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    if (codeFile) {
        if (FILE* f = std::fopen(codeFile, "w")) {
            std::fprintf(f, "%lu\n", code);
            std::fclose(f);
        }
        JOBOBJECT_BASIC_ACCOUNTING_INFORMATION jobInfo = {};
        while (QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &jobInfo, sizeof jobInfo, nullptr) &&
               jobInfo.ActiveProcesses > 0)
            Sleep(50);
    }
    return static_cast<int>(code);
}

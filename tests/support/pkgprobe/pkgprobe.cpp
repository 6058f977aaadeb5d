// Test probe for the package run: drives the package step and GetErrorString on their own, and
// looks at message boxes, so the start, the wait and the box can be checked under Wine
// without the rest of the program.
//
//   pkgprobe run <settings file>         the package step with the settings in the file (key=value
//                                        lines: AppPath, ServerPath, LocalPath, LogRoot,
//                                        PalladoConnection, LogFileName, DBUser, DBPwd, Title);
//                                        log lines go to LogFileName, stamped with the time in ms
//                                        since 1970
//   pkgprobe errtext <code> <out file>   GetErrorString(code), bytes as given
//   pkgprobe sysmsg <code> <out file>    the system's text for code straight from
//                                        FormatMessageA; exit code 1 when there is none
//   pkgprobe boxes <title>               each visible dialog box titled <title> as one JSON
//                                        line, followed by one JSON line per child: class, id,
//                                        and whether it shows an icon (the window inspector
//                                        tells the rest)
// Codes are decimal or 0x hex, taken as 32-bit values.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "log/LogSink.h"
#include "package/Package_win.h"
#include "settings/RunSettings.h"
#include "tests/support/KeyValues.h"

namespace {

std::string ReadFileBytes(const std::string& path, bool& ok) {
    std::string text;
    FILE* f = std::fopen(path.c_str(), "rb");
    ok = f != nullptr;
    if (!f) return text;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
    std::fclose(f);
    return text;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes, const char* mode) {
    FILE* f = std::fopen(path.c_str(), mode);
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

// Appends each line with CR LF, starting a fresh line first when the file's last line has no
// end (the runner may leave its report so).
class ProbeLog : public LogSink {
public:
    explicit ProbeLog(std::string fileName) : fileName_(std::move(fileName)) {}
    std::string Stamp() override {
        FILETIME ft;
        GetSystemTimeAsFileTime(&ft);
        const unsigned long long t = (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
        return std::to_string((t - 116444736000000000ULL) / 10000);
    }
    void Write(const std::string& line) override {
        bool ok = false;
        const std::string old = ReadFileBytes(fileName_, ok);
        const std::string lead = !old.empty() && old.back() != '\n' ? "\r\n" : "";
        WriteFileBytes(fileName_, lead + line + "\r\n", "ab");
    }

private:
    std::string fileName_;
};

int RunPackage(const std::string& settingsFile) {
    bool ok = false;
    const std::string text = ReadFileBytes(settingsFile, ok);
    if (!ok) return 3;
    std::map<std::string, std::string> values = ParseKeyValues(text);
    RunSettings run;
    run.AppPath = values["AppPath"];
    run.ServerPath = values["ServerPath"];
    run.LocalPath = values["LocalPath"];
    run.LogRoot = values["LogRoot"];
    run.PalladoConnection = values["PalladoConnection"];
    run.LogFileName = values["LogFileName"];
    run.DBUser = values["DBUser"];
    run.DBPwd = values["DBPwd"];
    ProbeLog log(run.LogFileName);
    RunPackageStep(run, log, values["Title"], *MakeWindowsPackageSystem(nullptr, nullptr));
    return 0;
}

int Code(const char* text) { return static_cast<int>(std::strtoul(text, nullptr, 0)); }

int SystemMessage(int code, const std::string& outFile) {
    std::vector<char> buffer(4096);
    const DWORD n =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, static_cast<DWORD>(code), 0,
                       buffer.data(), static_cast<DWORD>(buffer.size()), nullptr);
    if (n == 0) {
        std::fprintf(stderr, "FormatMessageA: %lu\n", static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    return WriteFileBytes(outFile, std::string(buffer.data(), n), "wb") ? 0 : 3;
}

std::string Json(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7f) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string WindowText(HWND h) {
    const int length = GetWindowTextLengthA(h);
    std::vector<char> buffer(length + 2);
    const int n = GetWindowTextA(h, buffer.data(), static_cast<int>(buffer.size()));
    return std::string(buffer.data(), n > 0 ? n : 0);
}

std::string ClassName(HWND h) {
    char name[256] = {};
    GetClassNameA(h, name, sizeof name);
    return name;
}

struct BoxSearch {
    std::string title;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectBox(HWND h, LPARAM p) {
    auto* search = reinterpret_cast<BoxSearch*>(p);
    if (IsWindowVisible(h) && ClassName(h) == "#32770" && WindowText(h) == search->title) search->found.push_back(h);
    return TRUE;
}

BOOL CALLBACK PrintChild(HWND h, LPARAM) {
    // STM_GETICON answers across processes with the icon's handle value, or 0 when none is set.
    DWORD_PTR icon = 0;
    if (ClassName(h) == "Static") SendMessageTimeoutA(h, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 1000, &icon);
    std::printf("{\"class\": %s, \"id\": %d, \"icon\": %s}\n", Json(ClassName(h)).c_str(), GetDlgCtrlID(h),
                icon ? "true" : "false");
    return TRUE;
}

int Boxes(const std::string& title) {
    BoxSearch search{title, {}};
    EnumWindows(CollectBox, reinterpret_cast<LPARAM>(&search));
    for (HWND box : search.found) {
        std::printf("{\"box\": %s}\n", Json(WindowText(box)).c_str());
        EnumChildWindows(box, PrintChild, 0);
    }
    std::fflush(stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "run" && argc == 3) return RunPackage(argv[2]);
    if (command == "errtext" && argc == 4) return WriteFileBytes(argv[3], GetErrorString(Code(argv[2])), "wb") ? 0 : 3;
    if (command == "sysmsg" && argc == 4) return SystemMessage(Code(argv[2]), argv[3]);
    if (command == "boxes" && argc == 3) return Boxes(argv[2]);
    std::fprintf(stderr,
                 "usage: pkgprobe run <settings> | errtext <code> <out> | sysmsg <code> <out> | boxes <title>\n");
    return 2;
}

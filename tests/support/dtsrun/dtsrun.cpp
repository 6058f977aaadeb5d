// Stand-in for the package runner dtsrun.exe, for the tests of the package run.
//
// Its command line belongs to the program under test, so it takes its settings from the
// text file dtsrun.cfg beside it, one key=value a line (all optional):
//   record=<path>     receives the exact command line (GetCommandLineA), bytes as given
//   facts=<path>      receives key=value lines: started, console, package, ended (times in ms
//                     since 1970, console 1 when the runner has a console window of its own,
//                     package 1 when the argument after /F names an existing file)
//   delay_ms=<n>      how long it runs before it ends (default 0)
//   exit_code=<n>     its exit code (default 0)
//   report=<style>    how it appends its report to the file given with /L:
//                     crlf (default), lf (LF line ends), nofinal (no final line end), none
// It ends with exit code 3 when its configuration cannot be read.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "tests/support/KeyValues.h"

namespace {

std::string Folder(const std::string& path) {
    const auto slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ModulePath() {
    std::vector<char> buffer(260);
    for (;;) {
        const DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n < buffer.size()) return std::string(buffer.data(), n);
        buffer.resize(buffer.size() * 2);
    }
}

bool ReadConfig(const std::string& path, std::map<std::string, std::string>& config) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::string text;
    char chunk[512];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
    std::fclose(f);
    config = ParseKeyValues(text);
    return true;
}

bool WriteFile(const std::string& path, const std::string& bytes, const char* mode) {
    FILE* f = std::fopen(path.c_str(), mode);
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

long long NowMs() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    const unsigned long long t = (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return static_cast<long long>((t - 116444736000000000ULL) / 10000);
}

// Splits a command line at blanks outside double quotes; quotes group and are dropped.
std::vector<std::string> Tokens(const std::string& line) {
    std::vector<std::string> tokens;
    std::string current;
    bool quoted = false, any = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (any) tokens.push_back(current);
            current.clear();
            any = false;
        } else {
            current += c;
            any = true;
        }
    }
    if (any) tokens.push_back(current);
    return tokens;
}

std::string ReportFor(const std::string& style, const std::string& logFile, unsigned long exitCode) {
    const std::string lines[] = {
        "dtsrun stand-in: report to " + logFile,
        "dtsrun stand-in: exit code " + std::to_string(exitCode),
    };
    const std::string eol = style == "lf" ? "\n" : "\r\n";
    std::string text;
    for (const auto& l : lines) text += (text.empty() ? "" : eol) + l;
    if (style != "nofinal") text += eol;
    return text;
}

}  // namespace

int main() {
    const long long started = NowMs();
    const std::string commandLine = GetCommandLineA();
    std::map<std::string, std::string> config;
    if (!ReadConfig(Folder(ModulePath()) + "dtsrun.cfg", config)) return 3;

    if (!config["record"].empty() && !WriteFile(config["record"], commandLine, "wb")) return 3;

    const unsigned long delay = std::strtoul(config["delay_ms"].c_str(), nullptr, 10);
    const unsigned long exitCode = std::strtoul(config["exit_code"].c_str(), nullptr, 10);
    const std::string style = config["report"].empty() ? "crlf" : config["report"];
    Sleep(delay);

    std::string logFile, packageFile;
    const auto tokens = Tokens(commandLine);
    for (size_t i = 0; i + 1 < tokens.size(); ++i) {
        if (tokens[i] == "/L") logFile = tokens[i + 1];
        if (tokens[i] == "/F") packageFile = tokens[i + 1];
    }
    const DWORD packageAttributes = GetFileAttributesA(packageFile.c_str());
    const bool packageFound =
        packageAttributes != INVALID_FILE_ATTRIBUTES && !(packageAttributes & FILE_ATTRIBUTE_DIRECTORY);
    if (style != "none" && !logFile.empty()) WriteFile(logFile, ReportFor(style, logFile, exitCode), "ab");

    if (!config["facts"].empty()) {
        // Wine's console host may make the console's window a moment after the runner started
        // (seen once in about fifteen runs of a runner that ends at once): it gets 2 s.
        bool console = GetConsoleWindow() != nullptr;
        for (int waited = 0; !console && waited < 2000; waited += 20) {
            Sleep(20);
            console = GetConsoleWindow() != nullptr;
        }
        const std::string facts = "started=" + std::to_string(started) + "\r\nconsole=" + (console ? "1" : "0") +
                                  "\r\npackage=" + (packageFound ? "1" : "0") + "\r\nended=" + std::to_string(NowMs()) +
                                  "\r\n";
        WriteFile(config["facts"], facts, "wb");
    }
    return static_cast<int>(exitCode);
}

#pragma once
// What check-upgrade.exe tells a distribution system about a run of Setup.exe, decided from the
// upgrade log alone, since Setup.exe ends with exit code 0 whatever happened. A run went through
// when its block, from its banner line to the end of the log, holds a line ending in " - " and
// each catalog's Success event, the Finished event and the Exit event, and the finish line
// itself. The log is read by its own reading rule (LogLines.h): a rewrite changes line ends but
// never the number of lines, so lines counted before a start mark where the run's lines begin.
#include <cstddef>
#include <string>
#include <string_view>

#include "log/LogLines.h"

// The exit codes distribution systems read: 1618 (ERROR_INSTALL_ALREADY_RUNNING) they retry
// later by default, 1460 (ERROR_TIMEOUT) and 1 they count as failures.
enum CheckCode : int { CheckWentThrough = 0, CheckNotThrough = 1, CheckTimedOut = 1460, CheckGuardHeld = 1618 };

// The options of a check: --detect, or a start waiting at most timeoutSeconds.
struct CheckOptions {
    bool detect = false;
    unsigned long timeoutSeconds = 3000;
};

// Reads the command line's arguments (without the program's name); false with what is wrong.
bool ParseCheckOptions(int argc, const char* const* argv, CheckOptions& options, std::string& wrong);

// Walks the log's lines, pieces of any size in order, and keeps what a verdict needs about the
// lines from the index `from` on: how many are banners, and what the block from the last one holds.
class LogScan {
public:
    explicit LogScan(std::size_t from = 0) : from_(from) {}
    void Feed(std::string_view piece);
    void Finish();  // after the last piece: a last line without a line end is a line too

    std::size_t Lines() const { return lines_; }
    std::size_t Banners() const { return banners_; }
    // The first line of a good run that the last block lacks, as the guide names it (the end of
    // a line, or a whole line); empty when it lacks none.
    std::string Missing() const;

private:
    void Line(std::string_view line);

    LogRewrite rewrite_;  // the reading rule: its output is every line followed by CR LF
    std::string written_;
    std::string partial_;  // text of a line whose end has not come yet
    std::size_t from_;
    std::size_t lines_ = 0;
    std::size_t banners_ = 0;
    unsigned seen_ = 0;  // one bit per line of a good run found since the last banner
};

struct Verdict {
    int code;
    std::string text;
};

// After Setup.exe ended: added scans the log from the number of lines it had before the start;
// guardHeld tells whether a copy holds the guard now.
Verdict RunVerdict(const LogScan& added, bool guardHeld);

// The last run in the log, for a detection rule.
Verdict DetectVerdict(bool logExists, const LogScan& log);

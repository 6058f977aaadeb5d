#include "check/UpgradeVerdict.h"

#include <vector>

#include "app/UpgradeRun.h"
#include "db/SchemaUpgrade.h"
#include "package/PackageRun.h"

namespace {

// The timeout in milliseconds must stay below INFINITE.
constexpr unsigned long kMostSeconds = 4294967;

const char kUsage[] = "; usage: check-upgrade.exe [--timeout SECONDS] | --detect";

// A line a good run's block holds: one that ends in text, or one that is text.
struct GoodLine {
    std::string text;
    bool whole;
};

const std::vector<GoodLine>& GoodRun() {
    static const std::vector<GoodLine> lines = [] {
        std::vector<GoodLine> good;
        for (const char* catalog : UpgradeCatalogs) good.push_back({" - " + SuccessEventText(catalog), false});
        good.push_back({" - " + FinishedEventText(), false});
        good.push_back({" - " + ExitEventText(), false});
        good.push_back({FinishLine(), true});
        return good;
    }();
    return lines;
}

bool Matches(const GoodLine& good, std::string_view line) {
    if (good.whole) return line == good.text;
    return line.size() >= good.text.size() && line.substr(line.size() - good.text.size()) == good.text;
}

bool ParseSeconds(const std::string& text, unsigned long& seconds) {
    if (text.empty() || text.size() > 7 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    seconds = std::stoul(text);
    return seconds >= 1 && seconds <= kMostSeconds;
}

// The verdict on the last block of a scan that found one.
Verdict BlockVerdict(const LogScan& scan, const std::string& run) {
    const std::string missing = scan.Missing();
    if (missing.empty()) return {CheckWentThrough, run + " went through"};
    return {CheckNotThrough, run + " did not go through: its block lacks \"" + missing + "\""};
}

}  // namespace

bool ParseCheckOptions(int argc, const char* const* argv, CheckOptions& options, std::string& wrong) {
    bool timed = false;
    for (int i = 0; i < argc && wrong.empty(); ++i) {
        const std::string arg = argv[i];
        if (arg == "--detect") {
            options.detect = true;
        } else if (arg != "--timeout") {
            wrong = "unknown option \"" + arg + "\"";
        } else if (i + 1 == argc) {
            wrong = "--timeout needs a number of seconds";
        } else if (!ParseSeconds(argv[++i], options.timeoutSeconds)) {
            wrong = "--timeout takes a whole number of seconds from 1 to " + std::to_string(kMostSeconds) + ", not \"" +
                    argv[i] + "\"";
        } else {
            timed = true;
        }
    }
    if (wrong.empty() && options.detect && timed) wrong = "--detect starts nothing and takes no --timeout";
    if (wrong.empty()) return true;
    wrong += kUsage;
    return false;
}

void LogScan::Feed(std::string_view piece) {
    written_.resize(LogRewrite::MaxOut(piece.size()));
    written_.resize(rewrite_.Feed(piece, &written_[0]));
    std::string_view rest = written_;
    for (std::size_t end; (end = rest.find("\r\n")) != std::string_view::npos; rest.remove_prefix(end + 2)) {
        if (partial_.empty()) {
            Line(rest.substr(0, end));
        } else {
            partial_.append(rest.substr(0, end));
            Line(partial_);
            partial_.clear();
        }
    }
    partial_.append(rest);
}

void LogScan::Finish() {
    if (partial_.empty()) return;
    Line(partial_);
    partial_.clear();
}

void LogScan::Line(std::string_view line) {
    static const std::string banner = BannerLine();
    if (lines_++ < from_) return;
    if (line == banner) {
        ++banners_;
        seen_ = 0;
        return;
    }
    const std::vector<GoodLine>& good = GoodRun();
    for (std::size_t i = 0; i < good.size(); ++i)
        if (Matches(good[i], line)) seen_ |= 1u << i;
}

std::string LogScan::Missing() const {
    const std::vector<GoodLine>& good = GoodRun();
    for (std::size_t i = 0; i < good.size(); ++i)
        if (!(seen_ & (1u << i))) return good[i].text;
    return std::string();
}

Verdict RunVerdict(const LogScan& added, bool guardHeld) {
    if (added.Banners() == 0 && guardHeld)
        return {CheckGuardHeld, "another copy of the upgrade held its guard: this run did nothing; try again later"};
    if (added.Banners() == 0) return {CheckNotThrough, "the run added no block to the log: it did not go through"};
    if (added.Banners() > 1)
        return {CheckNotThrough, "more than one run added a block to the log meanwhile: not taken as gone through"};
    return BlockVerdict(added, "the run");
}

Verdict DetectVerdict(bool logExists, const LogScan& log) {
    if (!logExists) return {CheckNotThrough, "no log: no run went through"};
    if (log.Banners() == 0) return {CheckNotThrough, "the log holds no run"};
    return BlockVerdict(log, "the last run");
}

#include "package/DtsCommand.h"

namespace {

// Days from 1 March of year 0 to the date; shifting the year start to March puts the leap
// day last, so the day of the year follows from the month alone.
long DaysFromCivil(long y, long m, long d) {
    if (m <= 2) y -= 1;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yearOfEra = y - era * 400;
    const long dayOfYear = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra;
}

const long DayZero = DaysFromCivil(1899, 12, 30);

std::string Quoted(const std::string& value) { return "\"" + value + "\""; }

// A path as one argument: bare, unless a space or a tab would split it. The package file's
// path ends in ".dts", so no backslash stands before the closing quote.
std::string PathArgument(const std::string& path) {
    return path.find_first_of(" \t") == std::string::npos ? path : Quoted(path);
}

// One package variable: its name, ":8=" (text type) and the quoted value.
std::string Variable(const char* name, const std::string& value) { return std::string(name) + ":8=" + Quoted(value); }

}  // namespace

long DayNumber(const CalendarDate& date) { return DaysFromCivil(date.Year, date.Month, date.Day) - DayZero; }

std::string DtsRunPath(const RunSettings& run) { return run.LocalPath + DtsRunFileName; }

std::string PackageFileName(const RunSettings& run) { return run.AppPath + ReleaseLabel + ".dts"; }

std::string BuildDtsCommandLine(const RunSettings& run, long upgDate) {
    const struct {
        const char* Switch;
        std::string Argument;
    } elements[] = {
        {"/F", PathArgument(PackageFileName(run))},
        {"/M", std::string(1, PackagePasswordLetter)},
        {"/L", Quoted(run.LogFileName)},
        {"/W", Quoted("0")},
        {"/A", Variable("AppPath", run.AppPath)},
        {"/A", Variable("ServerPath", run.ServerPath)},
        {"/A", Variable("LocalPath", run.LocalPath)},
        {"/A", Variable("PalladoConnection", run.PalladoConnection)},
        {"/A", Variable("DBPwd", run.DBPwd)},
        {"/A", Variable("UpgDate", std::to_string(upgDate))},
        {"/A", Variable("MDBLocation", MdbLocation)},
        {"/A", Variable("DBUser", run.DBUser)},
    };
    std::string line;
    for (const auto& e : elements) line += std::string(" ") + e.Switch + " " + e.Argument;
    return line;
}

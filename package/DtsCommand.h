#pragma once
// The package runner's command line and the values it is built from. Pure functions of the
// run settings and a calendar date; nothing here touches the system.
#include <string>

#include "base/Release.h"
#include "settings/RunSettings.h"

// The password the release's package file was saved with: one lower-case letter, handed to
// the runner with /M.
inline constexpr char PackagePasswordLetter = 'q';
static_assert(PackagePasswordLetter >= 'a' && PackagePasswordLetter <= 'z', "one lower-case letter");

// The runner's file name; it is expected in the installation's local folder.
inline constexpr char DtsRunFileName[] = "dtsrun.exe";

// The fixed file name (no folder) handed to the package as its MDBLocation variable.
inline constexpr char MdbLocation[] = "Zant.mdb";

struct CalendarDate {
    int Year;   // e.g. 2019
    int Month;  // 1..12
    int Day;    // 1..31
};

// Whole days from 30 December 1899 (day 0) to date, proleptic Gregorian calendar.
long DayNumber(const CalendarDate& date);

// LocalPath + "dtsrun.exe" (LocalPath already ends in a backslash).
std::string DtsRunPath(const RunSettings& run);

// AppPath + release label + ".dts": the package file beside the program.
std::string PackageFileName(const RunSettings& run);

// The runner's command line without its own path: a leading space, then each switch and its
// argument as the table in DtsCommand.cpp lists them, one space apart. Values go in exactly as
// they stand, neither escaped nor trimmed. upgDate is the day number of the local date.
std::string BuildDtsCommandLine(const RunSettings& run, long upgDate);

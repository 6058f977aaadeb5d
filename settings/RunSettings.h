#pragma once
// The run settings: process-wide texts that the steps of one upgrade run fill and read.
// Reading the installation settings fills the paths, the server and the log file name; the
// login check and the credentials dialog set the login. They keep their values until the
// program ends.
#include <string>

struct RunSettings {
    std::string AppPath;            // folder of the running program, ends in a backslash
    std::string ServerPath;         // installation folder from the registry, ends in a backslash
    std::string LocalPath;          // local installation folder, ends in a backslash
    std::string LogRoot;            // parent of LocalPath, ends in a backslash
    std::string PalladoConnection;  // SQL Server name: server or server\instance
    std::string LogFileName;        // full path of the upgrade log; empty when the key is absent
    std::string DBUser;             // login in use
    std::string DBPwd;              // password in use
};

// The one instance the program works with (the steps' Windows glue reads it; the portable
// routines take the settings they need as arguments).
extern RunSettings Run;

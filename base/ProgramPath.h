#pragma once
// The running program's file (Windows builds only: ProgramPath_win.cpp).
#include <string>

// The full path of the program's own file, however long.
std::string ProgramPath();

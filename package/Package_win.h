#pragma once
// The package step's Windows side: processes, the box, the local date and the system's error
// text, for RunPackageStep (package/PackageRun.h).
#include <windows.h>

#include <memory>
#include <string>

#include "package/PackageRun.h"

// Starts runners with CreateProcessA in a console of their own and waits on their process
// handles; its box is owned by boxOwner (the application window). A runner that started gets
// a handle to guard (the single-instance mutex; null: none), so that a second copy of the
// program is refused until the runner has ended, even when this one is gone.
std::unique_ptr<PackageSystem> MakeWindowsPackageSystem(HWND boxOwner, HANDLE guard);

// The system's message text for an error code, unchanged (a line break at its end stays, and
// so do inserts such as "%1").
// When the system has none: "Error in GetErrorString(code) : lastError".
std::string GetErrorString(int code);

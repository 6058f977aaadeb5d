#pragma once
// The program's message boxes: the system's box with one OK button, which returns once it is
// dismissed, however that happens. Each is owned by the window given, the application window,
// so that the program keeps its one taskbar entry while a box is up and the owner takes no
// input meanwhile; the box comes up centred on the screen. Where nobody can see the program
// (base/Presence_win.h) no box is shown and each returns at once, as after OK.
#include <windows.h>

#include <string>

// With the error icon: the stop box and the schema upgrade's error box.
void ShowErrorBox(HWND owner, const std::string& title, const std::string& text);

// With no icon, the text word-wrapped: the package-start box.
void ShowMessageBox(HWND owner, const std::string& title, const std::string& text);

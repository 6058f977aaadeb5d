#pragma once
// The program's message boxes: the system's box with one OK button, which returns once it is
// dismissed, however that happens. Each is owned by the window given: given the window that
// holds the program's taskbar entry, the program keeps that one entry while a box is up and the
// owner takes no input meanwhile; the box comes up centred on the screen. Where nobody can see
// the program (base/Presence_win.h) no box is shown and each returns at once, as after OK.
#include <windows.h>

#include <string>

// With the error icon.
void ShowErrorBox(HWND owner, const std::string& title, const std::string& text);

// With no icon; the system wraps the text.
void ShowMessageBox(HWND owner, const std::string& title, const std::string& text);

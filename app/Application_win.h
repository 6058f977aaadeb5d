#pragma once
// The application object: the hidden-size top-level window that carries the taskbar entry and
// owns the main window and the dialogs, and the title derived from the program's file name.
#include <windows.h>

#include <string>

struct Application {
    HINSTANCE Instance = nullptr;
    HWND Handle = nullptr;  // the taskbar entry's window, captioned with Title
    std::string Title;
};

extern Application App;

// The stop box: a failure that escaped the run, with the application title and the stop icon.
void ShowStopBox(const std::string& message);

#pragma once
// The application object: the top-level window of size 0x0 that carries the program's taskbar
// entry and owns the main window, the dialog and every box, and the title derived from the
// program's file name.
//
// The main window minimises to the taskbar entry, as the windows of an application whose main
// window is owned by its application window do: minimising either hides the main window and
// minimises the entry; restoring the entry brings the main window back. Started minimised, the
// program waits with its entry minimised, and restoring it shows the main window (which runs
// the upgrade) for the first time.
#include <windows.h>

#include <string>

struct Application {
    HINSTANCE Instance = nullptr;
    HWND Handle = nullptr;  // the taskbar entry's window, captioned with Title
    std::string Title;
};

extern Application App;

// Makes the application window, hidden; false when it cannot be made.
bool CreateApplicationWindow();

// Shows the taskbar entry without activating it; when minimised, the main window waits for the
// entry to be restored.
void ShowApplication(bool minimised);

// Minimises the program to its taskbar entry, the main window hidden until it is restored.
void MinimiseApplication();

// The stop box: a failure that escaped the run, with the application title and the stop icon.
void ShowStopBox(const std::string& message);

// Program entry: the single-instance guard, the application window, the main window whose first
// showing carries out the upgrade run, and the message loop until the main window is closed.
// Whether anyone can see the program is learnt here, once, before any window is made.
#include <windows.h>

#include <string>

#include "app/Application_win.h"
#include "app/ApplicationTexts.h"
#include "app/MainForm_win.h"
#include "base/Presence_win.h"
#include "base/ProgramPath.h"
#include "base/Release.h"
#include "base/Scoped_win.h"
#include "base/SystemLibrary_win.h"
#include "base/Text.h"

namespace {

int StartupShowCommand() {
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    GetStartupInfoA(&si);
    return (si.dwFlags & STARTF_USESHOWWINDOW) ? si.wShowWindow : SW_SHOWDEFAULT;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    LimitDllSearchToSystemFolder();  // before anything can load a DLL
    // The guard's handle is kept open by the process until it ends; it is never waited on. The
    // package runner gets a copy, so that the guard outlives this process while the runner works.
    // A guard that another account's copy made is refused to this one (access denied): it is
    // held all the same.
    const HANDLE guard = CreateMutexA(nullptr, FALSE, UpgradeTitle().c_str());
    const DWORD guardError = GetLastError();
    if (guardError == ERROR_ALREADY_EXISTS || guardError == ERROR_ACCESS_DENIED) return 0;
    const bool seen = SomeoneCanSee();

    const ScopedCom com;
    Application app;
    if (app.Create(instance, ApplicationTitle(ProgramPath(), AnsiLeadByte, AnsiLowerCase)) &&
        Form1.Create(app, guard)) {
        // Minimised to the taskbar entry at start, the main window (and with it the run) waits
        // for the operator to restore the program; where nobody can, it runs at once.
        const int showCommand = StartupShowCommand();
        const bool minimised = showCommand == SW_SHOWMINNOACTIVE && seen;
        app.Show(Form1, minimised);
        if (!minimised) Form1.Show(showCommand == SW_SHOWMAXIMIZED ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return 0;
}

// Program entry: the single-instance guard, the application window, the main window whose first
// showing carries out the upgrade run, and the message loop until the main window is closed.
#include <objbase.h>
#include <windows.h>

#include <string>

#include "app/Application_win.h"
#include "app/Driver.h"
#include "app/MainForm_win.h"
#include "settings/RunSettings.h"

namespace {

const char kApplicationClass[] = "UpgradeApp";

// Minimised to the taskbar entry at start: the main window (and with it the run) waits for the
// operator to restore the program.
bool g_mainWindowPending = false;

bool AnsiLeadByte(unsigned char c) { return IsDBCSLeadByte(c) != FALSE; }

std::string AnsiLowerCase(const std::string& s) {
    std::string out = s;
    if (!out.empty()) CharLowerBuffA(&out[0], static_cast<DWORD>(out.size()));
    return out;
}

std::string ProgramPath() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD n = GetModuleFileNameA(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (n < path.size()) return path.substr(0, n);
        path.resize(path.size() * 2);
    }
}

LRESULT CALLBACK ApplicationProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_RESTORE && g_mainWindowPending) {
        const LRESULT result = DefWindowProcA(hwnd, msg, wParam, lParam);
        g_mainWindowPending = false;
        Form1.Show(SW_SHOWNORMAL);
        return result;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

bool CreateApplicationWindow() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ApplicationProc;
    wc.hInstance = App.Instance;
    wc.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    wc.lpszClassName = kApplicationClass;
    if (!RegisterClassA(&wc)) return false;
    const int x = GetSystemMetrics(SM_CXSCREEN) / 2, y = GetSystemMetrics(SM_CYSCREEN) / 2;
    App.Handle = CreateWindowExA(0, kApplicationClass, App.Title.c_str(),
                                 WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX, x, y, 0, 0,
                                 nullptr, nullptr, App.Instance, nullptr);
    return App.Handle != nullptr;
}

int StartupShowCommand() {
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    GetStartupInfoA(&si);
    return (si.dwFlags & STARTF_USESHOWWINDOW) ? si.wShowWindow : SW_SHOWDEFAULT;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // The guard's handle is kept open by the process until it ends; it is never waited on.
    CreateMutexA(nullptr, FALSE, (std::string("Upgrade ") + ReleaseLabel).c_str());
    if (GetLastError() == ERROR_ALREADY_EXISTS) return 0;

    const bool comReady = SUCCEEDED(CoInitialize(nullptr));
    App.Instance = instance;
    App.Title = ApplicationTitle(ProgramPath(), AnsiLeadByte, AnsiLowerCase);

    if (CreateApplicationWindow() && Form1.Create()) {
        const int showCommand = StartupShowCommand();
        if (showCommand == SW_SHOWMINNOACTIVE) {
            g_mainWindowPending = true;
            ShowWindow(App.Handle, SW_SHOWMINNOACTIVE);
        } else {
            ShowWindow(App.Handle, SW_SHOWNOACTIVATE);
            Form1.Show(showCommand == SW_SHOWMAXIMIZED ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
        }
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }

    if (App.Handle) DestroyWindow(App.Handle);
    if (comReady) CoUninitialize();
    return 0;
}

#include "app/Application_win.h"

#include "app/Driver.h"
#include "app/MainForm_win.h"
#include "base/MessageBoxes_win.h"
#include "base/Text.h"

Application App;

namespace {

const char kApplicationClass[] = "UpgradeApp";

// Minimised to the taskbar entry at start: the main window (and with it the run) waits for the
// operator to restore the program.
bool g_mainWindowPending = false;

LRESULT CALLBACK ApplicationProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_RESTORE && g_mainWindowPending) {
        const LRESULT result = DefWindowProcA(hwnd, msg, wParam, lParam);
        g_mainWindowPending = false;
        Form1.Show(SW_SHOWNORMAL);
        return result;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace

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

void ShowApplication(bool minimised) {
    g_mainWindowPending = minimised;
    ShowWindow(App.Handle, minimised ? SW_SHOWMINNOACTIVE : SW_SHOWNOACTIVATE);
}

void ShowStopBox(const std::string& message) {
    ShowErrorBox(App.Handle, App.Title, StopBoxText(message, AnsiLeadByte));
}

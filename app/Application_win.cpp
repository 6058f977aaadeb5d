#include "app/Application_win.h"

#include "app/Driver.h"
#include "app/MainForm_win.h"
#include "base/MessageBoxes_win.h"
#include "base/Text.h"

Application App;

namespace {

const char kApplicationClass[] = "UpgradeApp";

// Where the main window is while the program is minimised to its taskbar entry.
enum class MainWindow { Shown, Hidden, NotYetShown };
MainWindow g_mainWindow = MainWindow::Shown;

LRESULT CALLBACK ApplicationProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_SYSCOMMAND) {
        switch (wParam & 0xFFF0) {
        case SC_MINIMIZE:
            if (g_mainWindow == MainWindow::Shown && Form1.Visible()) {
                g_mainWindow = MainWindow::Hidden;
                Form1.Hide();
            }
            break;
        case SC_RESTORE:
            if (g_mainWindow != MainWindow::Shown) {
                const LRESULT result = DefWindowProcA(hwnd, msg, wParam, lParam);
                // The first showing runs the upgrade, in the normal state; a later one shows the
                // window as it was.
                const int showCommand = g_mainWindow == MainWindow::NotYetShown ? SW_SHOWNORMAL : SW_SHOW;
                g_mainWindow = MainWindow::Shown;
                Form1.Show(showCommand);
                return result;
            }
            break;
        }
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
    g_mainWindow = minimised ? MainWindow::NotYetShown : MainWindow::Shown;
    ShowWindow(App.Handle, minimised ? SW_SHOWMINNOACTIVE : SW_SHOWNOACTIVATE);
}

void MinimiseApplication() { SendMessageA(App.Handle, WM_SYSCOMMAND, SC_MINIMIZE, 0); }

void ShowStopBox(const std::string& message) {
    ShowErrorBox(App.Handle, App.Title, StopBoxText(message, AnsiLeadByte));
}

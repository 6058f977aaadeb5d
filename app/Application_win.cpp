#include "app/Application_win.h"

#include "app/ApplicationTexts.h"
#include "base/MessageBoxes_win.h"
#include "base/Text.h"

namespace {

const char kApplicationClass[] = "UpgradeApp";

}  // namespace

Application::~Application() {
    if (handle_) DestroyWindow(handle_);
}

bool Application::Create(HINSTANCE instance, const std::string& title) {
    instance_ = instance;
    title_ = title;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance_;
    wc.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    wc.lpszClassName = kApplicationClass;
    if (!RegisterClassA(&wc)) return false;
    const int x = GetSystemMetrics(SM_CXSCREEN) / 2, y = GetSystemMetrics(SM_CYSCREEN) / 2;
    handle_ = CreateWindowExA(0, kApplicationClass, title_.c_str(),
                              WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX, x, y, 0, 0,
                              nullptr, nullptr, instance_, nullptr);
    if (handle_) SetWindowLongPtrA(handle_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    return handle_ != nullptr;
}

void Application::Show(OwnedMainWindow& mainWindow, bool minimised) {
    mainWindow_ = &mainWindow;
    mainWindowState_ = minimised ? MainWindowState::NotYetShown : MainWindowState::Shown;
    ShowWindow(handle_, minimised ? SW_SHOWMINNOACTIVE : SW_SHOWNOACTIVATE);
}

void Application::Minimise() { SendMessageA(handle_, WM_SYSCOMMAND, SC_MINIMIZE, 0); }

void Application::ShowStopBox(const std::string& message) const {
    ShowErrorBox(handle_, title_, StopBoxText(message, AnsiLeadByte));
}

LRESULT CALLBACK Application::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Application*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (msg == WM_SYSCOMMAND && self && self->mainWindow_) {
        OwnedMainWindow& window = *self->mainWindow_;
        MainWindowState& state = self->mainWindowState_;
        switch (wParam & 0xFFF0) {
        case SC_MINIMIZE:
            if (state == MainWindowState::Shown && window.Visible()) {
                state = MainWindowState::Hidden;
                window.Hide();
            }
            break;
        case SC_RESTORE:
            if (state != MainWindowState::Shown) {
                const LRESULT result = DefWindowProcA(hwnd, msg, wParam, lParam);
                // The first showing runs the upgrade, in the normal state; a later one shows the
                // window as it was.
                const int showCommand = state == MainWindowState::NotYetShown ? SW_SHOWNORMAL : SW_SHOW;
                state = MainWindowState::Shown;
                window.Show(showCommand);
                return result;
            }
            break;
        }
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

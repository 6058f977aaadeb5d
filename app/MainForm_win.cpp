#include "app/MainForm_win.h"

#include <exception>

#include "app/Application_win.h"
#include "db/DbSteps_win.h"
#include "package/Package.h"
#include "settings/ReadSettings.h"
#include "settings/RunSettings.h"

TForm1 Form1;

namespace {

const char kFormClass[] = "TForm1";

// The window's design, in pixels at 96 dots per inch.
constexpr int kLeft = 214, kTop = 200, kWidth = 286, kHeight = 73;
constexpr int kLabelLeft = 24, kLabelTop = 8, kLabelWidth = 133, kLabelHeight = 13;

}  // namespace

bool TForm1::Create() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = App.Instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kFormClass;
    if (!RegisterClassA(&wc)) return false;

    handle_ = CreateWindowExA(0, kFormClass, "Upgrade", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, kLeft, kTop,
                              kWidth, kHeight, App.Handle, nullptr, App.Instance, nullptr);
    if (!handle_) return false;
    font_ = CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                        CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "MS Sans Serif");
    Label1 = CreateWindowExA(0, "STATIC", "Upgrade now. Please wait...", WS_CHILD | WS_VISIBLE | SS_LEFT,
                             kLabelLeft, kLabelTop, kLabelWidth, kLabelHeight, handle_, nullptr, App.Instance,
                             nullptr);
    if (Label1 && font_) SendMessageA(Label1, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    cnUpg = MakeOdbcConnection();
    return true;
}

void TForm1::Show(int showCommand) {
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
    if (closed_) return;
    ShowWindow(handle_, showCommand);
    UpdateWindow(handle_);
}

void TForm1::FormShow() {
    SetWindowTextA(handle_, (std::string("Upgrade ") + ReleaseLabel).c_str());
    try {
        RunUpgradeSequence(*this, log_);
    } catch (const std::exception& failure) {
        ShowStopBox(failure.what());
        return;
    }
    Close();
}

void TForm1::Close() {
    closed_ = true;
    DestroyWindow(handle_);
}

void TForm1::ReadSettings() { ::ReadSettings(Run, *MakeWindowsSettingsPlatform()); }

bool TForm1::CheckLogin() { return ::CheckLogin(Run, App.Handle); }

bool TForm1::UpgradeTableStructures() {
    WindowsErrorBox errorBox;
    return ::UpgradeTableStructures(Run, *cnUpg, cmdUpg, log_, errorBox);
}

void TForm1::RunDtsPackage() { ::RunDtsPackage(Run, log_, App.Title); }

LRESULT CALLBACK TForm1::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CTLCOLORSTATIC:
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

#include "app/MainForm_win.h"

#include <exception>

#include "base/FormLayout_win.h"
#include "base/Presence_win.h"
#include "base/Release.h"
#include "db/AskForPwd.h"
#include "db/LoginCheck.h"
#include "db/UpgradeErrorBox_win.h"
#include "package/Package_win.h"
#include "settings/ReadSettings.h"
#include "settings/RunSettings.h"

TForm1 Form1;

namespace {

const char kFormClass[] = "TForm1";

// The window's design, in pixels at 96 dots per inch: its place on the screen and outer size
// (frame and title bar included), and Label1's place in the client area. The label's design
// size is that of its text in MS Sans Serif; it takes the size of its text in the font in use.
constexpr int kLeft = 214, kTop = 200, kWidth = 286, kHeight = 73;
constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
const ControlDesign kLabel1 = {{24, 8, 133, 13}, TextSizing::Fit};
const char kLabel1Text[] = "Upgrade now. Please wait...";

}  // namespace

bool TForm1::Create(Application& app, HANDLE guard) {
    app_ = &app;
    guard_ = guard;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = app_->Instance();
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kFormClass;
    if (!RegisterClassA(&wc)) return false;

    // Made at the design's place scaled to the system's dpi; sized once its text is measured.
    const int dpi = SystemDpi();
    handle_ = CreateWindowExA(0, kFormClass, "Upgrade", kStyle, ScaleToDpi(kLeft, dpi), ScaleToDpi(kTop, dpi),
                              ScaleToDpi(kWidth, dpi), ScaleToDpi(kHeight, dpi), app_->Handle(), nullptr,
                              app_->Instance(), nullptr);
    if (!handle_) return false;
    SetWindowLongPtrA(handle_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    BuildWindow(handle_, {kWidth, kHeight}, {{&Label1, "STATIC", kLabel1Text, SS_LEFT, 0, 0, kLabel1}}, font_, dpi);
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

void TForm1::Hide() { ShowWindow(handle_, SW_HIDE); }

bool TForm1::Visible() const { return !closed_ && IsWindowVisible(handle_); }

void TForm1::FormShow() {
    SetWindowTextA(handle_, UpgradeTitle().c_str());
    try {
        RunUpgradeSequence(*this, log_);
    } catch (const std::exception& failure) {
        app_->ShowStopBox(failure.what());
        // Left open for the operator to close; where nobody can, the program ends.
        if (SomeoneCanSee()) return;
    }
    Close();
}

void TForm1::Close() {
    closed_ = true;
    DestroyWindow(handle_);
}

void TForm1::ReadSettings() {
    ReadInstallationSettings(Run, *MakeWindowsSettingsPlatform());
    log_ = FileLog(Run.LogFileName);
}

// The test connection is made over ODBC; the credentials dialog, when the built-in login
// fails, is made once, owned by the application, unless nobody could answer it.
bool TForm1::CheckLogin() {
    return TestLoginOrAsk(Run, MakeOdbcConnection, [this]() -> CredentialsDialog& {
        static UnseenDialog unseen;
        if (!SomeoneCanSee()) return unseen;
        if (!frm_Pwd) frm_Pwd = std::make_unique<Tfrm_Pwd>(app_->Handle());
        return *frm_Pwd;
    });
}

bool TForm1::UpgradeTableStructures() {
    WindowsErrorBox errorBox(app_->Handle());
    return UpgradeEachCatalog(Run, *cnUpg, cmdUpg, log_, errorBox);
}

void TForm1::RunDtsPackage() {
    RunPackageStep(Run, log_, app_->Title(), *MakeWindowsPackageSystem(app_->Handle(), guard_));
}

LRESULT CALLBACK TForm1::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CTLCOLORSTATIC:
        // The label in the scheme's window-text colour on the window's face.
        SetTextColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOWTEXT));
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_MINIMIZE) {
            if (auto* self = reinterpret_cast<TForm1*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA))) {
                self->app_->Minimise();
                return 0;
            }
        }
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

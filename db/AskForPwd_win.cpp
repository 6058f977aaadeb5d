#include "db/AskForPwd.h"

#include <string>
#include <vector>

#include "base/FormLayout_win.h"
#include "base/Failure.h"
#include "base/Release.h"

std::unique_ptr<Tfrm_Pwd> frm_Pwd;

namespace {

// The design, in pixels at 96 dots per inch: the window's outer size (frame and title bar
// included); the controls' places in the client area are in Layout.
constexpr int kWidth = 319, kHeight = 181;
constexpr int kIdLabel1 = 1001, kIdLabel2 = 1002, kIdLabel3 = 1003, kIdUser = 101, kIdPwd = 102;

// An empty dialog template: the controls are made in pixels afterwards, since a template's
// dialog units would follow the font's metrics rather than the design. No system menu, so no
// close box; a sizeable border.
struct alignas(4) EmptyTemplate {
    DLGTEMPLATE dlg;
    WORD menu, windowClass, title;
};

std::string TextOf(HWND h) {
    std::string s(static_cast<size_t>(GetWindowTextLengthA(h)) + 1, '\0');
    s.resize(static_cast<size_t>(GetWindowTextA(h, &s[0], static_cast<int>(s.size()))));
    return s;
}

// Disables the thread's other enabled windows (the owner always, others when visible) for the
// time of the modal loop, and enables them again, the owner last, before the dialog hides.
class ThreadWindowsDisabled {
public:
    ThreadWindowsDisabled(HWND dialog, HWND owner) : dialog_(dialog), owner_(owner) {
        if (owner && IsWindowEnabled(owner)) disabled_.push_back(owner);
        EnumThreadWindows(GetCurrentThreadId(), Collect, reinterpret_cast<LPARAM>(this));
        for (HWND h : disabled_) EnableWindow(h, FALSE);
    }
    ~ThreadWindowsDisabled() {
        for (auto it = disabled_.rbegin(); it != disabled_.rend(); ++it)
            if (IsWindow(*it)) EnableWindow(*it, TRUE);
    }
    ThreadWindowsDisabled(const ThreadWindowsDisabled&) = delete;
    ThreadWindowsDisabled& operator=(const ThreadWindowsDisabled&) = delete;

private:
    static BOOL CALLBACK Collect(HWND h, LPARAM self) {
        auto* me = reinterpret_cast<ThreadWindowsDisabled*>(self);
        if (h != me->dialog_ && h != me->owner_ && IsWindowVisible(h) && IsWindowEnabled(h))
            me->disabled_.push_back(h);
        return TRUE;
    }
    HWND dialog_, owner_;
    std::vector<HWND> disabled_;
};

}  // namespace

Tfrm_Pwd::Tfrm_Pwd(HWND owner) {
    EmptyTemplate t = {};
    t.dlg.style = WS_POPUP | WS_CAPTION | WS_THICKFRAME | DS_3DLOOK;
    handle_ = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), &t.dlg, owner, DialogProc,
                                         reinterpret_cast<LPARAM>(this));
    if (!handle_) throw Failure("The credentials dialog cannot be created.");
    try {
        Layout(SystemDpi());
    } catch (...) {
        DestroyWindow(handle_);
        throw;
    }
}

Tfrm_Pwd::~Tfrm_Pwd() {
    if (handle_) DestroyWindow(handle_);
}

void Tfrm_Pwd::Layout(int dpi) {
    // Each label comes just before the field it names, which is how assistive tools find a
    // field's name; the four that take the focus are in tab order. The labels' design sizes are
    // those of their texts in MS Sans Serif; a wider font grows them.
    // clang-format off
    const std::vector<DesignControl> design = {
        {&Label1, "STATIC", "Please enter system administrator password for SQL server", SS_LEFT, 0, kIdLabel1,
         {{13, 14, 275, 13}, TextSizing::Grow}},
        {&Label2, "STATIC", "Login:", SS_LEFT, 0, kIdLabel2, {{16, 44, 29, 13}, TextSizing::Grow}},
        {&edtUser, "EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL | ES_PASSWORD, WS_EX_CLIENTEDGE, kIdUser,
         {{88, 40, 193, 21}}},
        {&Label3, "STATIC", "Password:", SS_LEFT, 0, kIdLabel3, {{16, 68, 49, 13}, TextSizing::Grow}},
        {&edt_pwd, "EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL | ES_PASSWORD, WS_EX_CLIENTEDGE, kIdPwd,
         {{88, 64, 193, 21}}},
        {&btnOK, "BUTTON", "&OK", WS_TABSTOP | BS_DEFPUSHBUTTON, 0, IDOK, {{112, 102, 75, 25}}},
        {&btnCancel, "BUTTON", "&Cancel", WS_TABSTOP | BS_PUSHBUTTON, 0, IDCANCEL, {{200, 102, 75, 25}}},
    };
    // clang-format on
    if (!BuildWindow(handle_, {kWidth, kHeight}, design, font_, dpi))
        throw Failure("The credentials dialog cannot be created.");
    // Both fields mask with '*' (a common-controls 6 edit would otherwise show a dot), and
    // neither limits the length.
    for (HWND edit : {edtUser, edt_pwd}) {
        SendMessageA(edit, EM_SETPASSWORDCHAR, '*', 0);
        SendMessageA(edit, EM_LIMITTEXT, 0, 0);
    }
}

void Tfrm_Pwd::FormShow() { SetWindowTextA(handle_, DialogTitle().c_str()); }

void Tfrm_Pwd::btnOKClick() {
    run_->DBPwd = TextOf(edt_pwd);
    run_->DBUser = TextOf(edtUser);
}

int Tfrm_Pwd::ShowModal(RunSettings& run) {
    if (!handle_) return DialogCancel;  // destroyed with its owner: nothing to show
    run_ = &run;
    modalResult_ = 0;
    FormShow();

    // Centred on the desktop that all monitors span together.
    RECT r;
    GetWindowRect(handle_, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN) + (GetSystemMetrics(SM_CXVIRTUALSCREEN) - w) / 2;
    const int top = GetSystemMetrics(SM_YVIRTUALSCREEN) + (GetSystemMetrics(SM_CYVIRTUALSCREEN) - h) / 2;
    SetWindowPos(handle_, HWND_TOP, left, top, 0, 0, SWP_NOSIZE);

    {
        ThreadWindowsDisabled others(handle_, GetWindow(handle_, GW_OWNER));
        ShowWindow(handle_, SW_SHOW);
        SetForegroundWindow(handle_);
        SendMessageA(handle_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(btnOK), TRUE);

        MSG msg;
        while (modalResult_ == 0) {
            const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
            if (got == 0 || got == -1) {
                if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));
                modalResult_ = DialogCancel;
                break;
            }
            if (!IsDialogMessageA(handle_, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
    }
    if (handle_) ShowWindow(handle_, SW_HIDE);
    run_ = nullptr;
    return modalResult_;
}

INT_PTR CALLBACK Tfrm_Pwd::DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        return FALSE;  // the focus is placed when the dialog is shown
    }
    auto* self = reinterpret_cast<Tfrm_Pwd*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    if (!self) return FALSE;
    switch (msg) {
    case WM_COMMAND:
        if (HIWORD(wParam) != BN_CLICKED || self->modalResult_ != 0 || !self->run_) return FALSE;
        if (LOWORD(wParam) == IDOK) {
            self->modalResult_ = DialogOK;  // the result first, then the handler stores the texts
            self->btnOKClick();
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            self->modalResult_ = DialogCancel;
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        if (self->run_ && self->modalResult_ == 0) self->modalResult_ = DialogCancel;
        return TRUE;
    case WM_DESTROY:
        self->handle_ = nullptr;  // destroyed with its owner
        if (self->modalResult_ == 0) self->modalResult_ = DialogCancel;
        return FALSE;
    }
    return FALSE;
}

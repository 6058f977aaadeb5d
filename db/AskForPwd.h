#pragma once
// Unit AskForPwd: the credentials dialog Tfrm_Pwd.
//
// A small modal window that asks for a SQL Server login and password. OK stores the two texts
// into the run settings (DBPwd, then DBUser, exactly as typed) and gives DialogOK; Cancel, Esc
// and any other way of closing it give DialogCancel and store nothing. It checks nothing.
// The window is created hidden by the constructor, hidden again when the dialog closes, and
// destroyed by the destructor or with its owner, whichever comes first.
#include <windows.h>

#include <memory>

#include "base/Scoped_win.h"
#include "db/LoginCheck.h"

class Tfrm_Pwd : public CredentialsDialog {
public:
    // Throws Failure when the window cannot be made.
    explicit Tfrm_Pwd(HWND owner);
    ~Tfrm_Pwd() override;
    Tfrm_Pwd(const Tfrm_Pwd&) = delete;
    Tfrm_Pwd& operator=(const Tfrm_Pwd&) = delete;

    // Runs a modal loop on the calling thread; the owner and the thread's other visible windows
    // are disabled meanwhile. A WM_QUIT met in the loop ends it with DialogCancel and is posted
    // again. A dialog already destroyed with its owner gives DialogCancel at once.
    int ShowModal(RunSettings& run) override;

    HWND Handle() const { return handle_; }

private:
    void FormShow();
    void btnOKClick();
    void Layout(int dpi);
    static INT_PTR CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM);

    HWND handle_ = nullptr;
    HWND Label1 = nullptr, Label2 = nullptr, Label3 = nullptr;
    HWND edtUser = nullptr, edt_pwd = nullptr;
    HWND btnOK = nullptr, btnCancel = nullptr;
    ScopedFont font_;
    RunSettings* run_ = nullptr;  // only while ShowModal runs
    int modalResult_ = 0;
};

// The process-wide dialog: made by the main window, owned by the application window, the first
// time the login check asks for credentials.
extern std::unique_ptr<Tfrm_Pwd> frm_Pwd;

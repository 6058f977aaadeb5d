#include "db/DbSteps_win.h"

#include "db/AskForPwd.h"
#include "db/LoginCheck.h"

bool CheckLogin(RunSettings& run, HWND application) {
    return CheckLogin(
        run, [] { return MakeOdbcConnection(); },
        [application]() -> CredentialsDialog& {
            if (!frm_Pwd) frm_Pwd = std::make_unique<Tfrm_Pwd>(application);
            return *frm_Pwd;
        });
}

void WindowsErrorBox::Show(const std::string& message) {
    MessageBoxA(nullptr, message.c_str(), "Error", MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

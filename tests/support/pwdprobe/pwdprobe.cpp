// Shows the credentials dialog once, owned by a hidden application-like window, and writes what
// the caller of the dialog sees to the file named by the first argument (default pwdprobe.out in
// the current folder):
//
//   result=<dialog result>
//   user=<DBUser in hex>        (hex, so that spaces and any byte survive)
//   pwd=<DBPwd in hex>
//   window=hidden|visible|destroyed   (the dialog after it closed)
//
// DBUser and DBPwd start as the built-in pair. Exit code: the dialog result, or 9 when the
// probe itself failed.
#include <windows.h>

#include <cstdio>
#include <string>

#include "db/AskForPwd.h"
#include "settings/RunSettings.h"

namespace {

std::string Hex(const std::string& s) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : s) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    const char* outPath = __argc >= 2 ? __argv[1] : "pwdprobe.out";

    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = instance;
    wc.lpszClassName = "PwdProbeApp";
    RegisterClassA(&wc);
    HWND application = CreateWindowExA(0, wc.lpszClassName, "pwdprobe", WS_POPUP | WS_CAPTION, 0, 0, 0, 0, nullptr,
                                       nullptr, instance, nullptr);
    if (!application) return 9;

    Run.DBUser = BuiltInUser;
    Run.DBPwd = BuiltInPassword;
    int result = 9;
    try {
        frm_Pwd = std::make_unique<Tfrm_Pwd>(application);
        result = frm_Pwd->ShowModal(Run);
    } catch (const std::exception&) {
        return 9;
    }
    HWND dlg = frm_Pwd->Handle();
    const char* window = !dlg || !IsWindow(dlg) ? "destroyed" : IsWindowVisible(dlg) ? "visible" : "hidden";

    FILE* f = std::fopen(outPath, "wb");
    if (!f) return 9;
    std::fprintf(f, "result=%d\nuser=%s\npwd=%s\nwindow=%s\n", result, Hex(Run.DBUser).c_str(), Hex(Run.DBPwd).c_str(),
                 window);
    std::fclose(f);
    DestroyWindow(application);
    return result;
}

#include "base/MessageBoxes_win.h"

#include "base/Presence_win.h"

void ShowErrorBox(HWND owner, const std::string& title, const std::string& text) {
    if (SomeoneCanSee()) MessageBoxA(owner, text.c_str(), title.c_str(), MB_OK | MB_ICONERROR);
}

void ShowMessageBox(HWND owner, const std::string& title, const std::string& text) {
    if (SomeoneCanSee()) MessageBoxA(owner, text.c_str(), title.c_str(), MB_OK);
}

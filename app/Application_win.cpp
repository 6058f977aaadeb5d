#include "app/Application_win.h"

#include "app/Driver.h"

Application App;

void ShowStopBox(const std::string& message) {
    const std::string text = StopBoxText(message, [](unsigned char c) { return IsDBCSLeadByte(c) != FALSE; });
    MessageBoxA(App.Handle, text.c_str(), App.Title.c_str(), MB_OK | MB_ICONERROR);
}

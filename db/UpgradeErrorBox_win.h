#pragma once
// The schema upgrade's error box on Windows: the message titled "Error" with the error icon and
// one OK button (default and cancel), owned by the application window.
#include <windows.h>

#include <string>

#include "db/SchemaUpgrade.h"

class WindowsErrorBox : public ErrorBox {
public:
    explicit WindowsErrorBox(HWND owner) : owner_(owner) {}
    void Show(const std::string& message) override;

private:
    HWND owner_;
};

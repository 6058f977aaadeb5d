#include "db/UpgradeErrorBox_win.h"

#include "base/MessageBoxes_win.h"

void WindowsErrorBox::Show(const std::string& message) { ShowErrorBox(owner_, "Error", message); }

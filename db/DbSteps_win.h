#pragma once
// What the program calls for the database steps on Windows.
//
//   CheckLogin(Run, App.Handle)            the login check with a test connection over ODBC; when
//                                          the built-in login fails, the credentials dialog
//                                          frm_Pwd (owned by `application`) is made and shown.
//   UpgradeTableStructures(Run, *cnUpg, cmdUpg, log, errorBox)   (db/SchemaUpgrade.h)
//   WindowsErrorBox                        the error box of the schema upgrade.
#include <windows.h>

#include <string>

#include "db/SchemaUpgrade.h"
#include "settings/RunSettings.h"

// A failure to make the connection object or the dialog window is not caught here.
bool CheckLogin(RunSettings& run, HWND application);

// "Upgrade fail for 2.1.27!" titled "Error", error icon, one OK button (default and cancel),
// centred on the screen, modal for the thread's windows.
class WindowsErrorBox : public ErrorBox {
public:
    void Show(const std::string& message) override;
};

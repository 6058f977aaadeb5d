#pragma once
// The main window TForm1: created hidden with the caption "Upgrade"; making it visible runs the
// whole upgrade in FormShow before the window comes on screen. Closing it ends the program.
// After the stop box it stays open for the operator to close, unless nobody can see it.
// What it takes from the application (its owner, the title, the stop box, the minimise) comes
// through the Application it is created with; the single-instance guard is handed on to the
// package runner, so that it holds while the runner works.
#include <windows.h>

#include <memory>

#include "app/Application_win.h"
#include "app/UpgradeRun.h"
#include "base/Scoped_win.h"
#include "db/Connection.h"
#include "db/SchemaUpgrade.h"
#include "log/LogSink.h"

class TForm1 : public OwnedMainWindow, private UpgradeSteps {
public:
    bool Create(Application& app, HANDLE guard);  // hidden, from the window's design
    void Show(int showCommand) override;          // the first call runs FormShow first
    void Hide() override;
    bool Visible() const override;

private:
    void FormShow();
    void Close();  // ends the program: no question, no handler

    // UpgradeSteps
    void ReadSettings() override;
    bool CheckLogin() override;
    bool UpgradeTableStructures() override;
    void RunDtsPackage() override;

    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);

    Application* app_ = nullptr;
    HANDLE guard_ = nullptr;  // the program's, kept open until it ends
    HWND handle_ = nullptr;
    HWND Label1 = nullptr;
    ScopedFont font_;
    bool shown_ = false;
    bool closed_ = false;
    std::unique_ptr<Connection> cnUpg;
    UpgradeCommand cmdUpg;
    FileLog log_;  // names the log once the settings are read
};

extern TForm1 Form1;

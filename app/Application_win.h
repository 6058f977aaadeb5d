#pragma once
// The application object: the top-level window of size 0x0 that carries the program's taskbar
// entry and owns the main window, the dialog and every box, and the title derived from the
// program's file name.
//
// The main window minimises to the taskbar entry, as the windows of an application whose main
// window is owned by its application window do: minimising either hides the main window and
// minimises the entry; restoring the entry brings the main window back. Started minimised, the
// program waits with its entry minimised, and restoring it shows the main window (which runs
// the upgrade) for the first time. That state is the application's alone; the main window is
// handed in as the three things it is asked to do.
#include <windows.h>

#include <string>

// What the application asks of the main window it minimises and restores.
class OwnedMainWindow {
public:
    virtual bool Visible() const = 0;
    virtual void Hide() = 0;
    virtual void Show(int showCommand) = 0;

protected:
    ~OwnedMainWindow() = default;
};

class Application {
public:
    Application() = default;
    ~Application();  // destroys the window, and with it every window it owns
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Makes the application window, hidden, captioned with title; false when it cannot be made.
    bool Create(HINSTANCE instance, const std::string& title);

    // Shows the taskbar entry without activating it, with mainWindow the window its minimising
    // hides and its restoring shows; when minimised, the main window waits for the entry to be
    // restored.
    void Show(OwnedMainWindow& mainWindow, bool minimised);

    // Minimises the program to its taskbar entry, the main window hidden until it is restored.
    void Minimise();

    // The stop box: a failure that escaped the run, with the application title and the stop icon.
    void ShowStopBox(const std::string& message) const;

    HINSTANCE Instance() const { return instance_; }
    HWND Handle() const { return handle_; }  // the owner of the program's other windows
    const std::string& Title() const { return title_; }

private:
    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);

    // Where the main window is while the program is minimised to its taskbar entry.
    enum class MainWindowState { Shown, Hidden, NotYetShown };

    HINSTANCE instance_ = nullptr;
    HWND handle_ = nullptr;
    std::string title_;
    OwnedMainWindow* mainWindow_ = nullptr;  // from Show on
    MainWindowState mainWindowState_ = MainWindowState::Shown;
};

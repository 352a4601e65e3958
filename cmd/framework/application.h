// The application object: one per program, created before run() is called
// from wWinMain. run() calls initInstance(); when it returns true a message
// loop runs until WM_QUIT; exitInstance() always ends the run and gives the
// program's exit code.
#pragma once

#include <windows.h>

#include <string>

namespace cartscope::ui {

class Window;

// The caption of the framework's message boxes.
inline constexpr wchar_t kMessageBoxCaption[] = L"Cartscope CMD";

class Application {
public:
    Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;
    virtual ~Application();

    // The application object that exists, or null.
    static Application* current();

    int run(HINSTANCE instance);

    HINSTANCE instance() const { return m_instance; }

    // The window that stands for the program while it runs (a modal dialog
    // here); message boxes of its thread belong to it.
    Window* mainWindow() const { return m_mainWindow; }
    void setMainWindow(Window* window) { m_mainWindow = window; }

protected:
    // Start-up. Return false to end the program without a message loop.
    virtual bool initInstance();
    // Shut-down; the result is run()'s result. By default the wParam of
    // WM_QUIT, or 0 when no message loop ran.
    virtual int exitInstance();

    int quitCode() const { return m_quitCode; }

private:
    HINSTANCE m_instance = nullptr;
    Window* m_mainWindow = nullptr;
    int m_quitCode = 0;
};

// A message box with the program's caption, owned by the main window when the
// caller runs on that window's thread. 'type' takes the MB_* flags; the
// result is the button pressed (IDOK, IDCANCEL, ...).
int messageBox(const std::wstring& text, UINT type = MB_OK);

}  // namespace cartscope::ui

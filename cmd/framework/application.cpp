#include "cmd/framework/application.h"

#include "cmd/framework/window.h"

namespace cartscope::ui {

namespace {
Application* g_application = nullptr;
}

Application::Application() { g_application = this; }

Application::~Application() {
    if (g_application == this) {
        g_application = nullptr;
    }
}

Application* Application::current() { return g_application; }

int Application::run(HINSTANCE instance) {
    m_instance = instance;
    m_quitCode = 0;
    if (initInstance()) {
        MSG message;
        BOOL got;
        while ((got = GetMessageW(&message, nullptr, 0, 0)) != 0 && got != -1) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (got == 0) {
            m_quitCode = static_cast<int>(message.wParam);
        }
    }
    return exitInstance();
}

bool Application::initInstance() { return true; }

int Application::exitInstance() { return m_quitCode; }

int messageBox(const std::wstring& text, UINT type) {
    HWND owner = nullptr;
    if (Application* app = Application::current()) {
        if (Window* main = app->mainWindow()) {
            HWND candidate = main->handle();
            if (candidate != nullptr && IsWindow(candidate) &&
                GetWindowThreadProcessId(candidate, nullptr) == GetCurrentThreadId()) {
                owner = candidate;
            }
        }
    }
    return MessageBoxW(owner, text.c_str(), kMessageBoxCaption, type);
}

}  // namespace cartscope::ui

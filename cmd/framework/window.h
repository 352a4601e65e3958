// A window handle with the few calls that dialogs and their controls share.
// The object does not own the window: Windows destroys dialogs and their items.
#pragma once

#include <windows.h>

#include <string>

namespace cartscope::ui {

class Window {
public:
    Window() = default;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    virtual ~Window() = default;

    HWND handle() const { return m_hwnd; }
    bool isBound() const { return m_hwnd != nullptr; }

    // Binds this object to the item with the given id of a dialog.
    // Returns false when the dialog has no such item.
    bool bindItem(HWND dialog, int id);

    // Window text, as WM_SETTEXT / WM_GETTEXT carry it. Safe from other threads:
    // Windows sends the messages to the window's own thread.
    bool setText(const std::wstring& text);
    std::wstring text() const;

    void enable(bool enabled = true);
    bool isEnabled() const;

    LRESULT sendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    bool postMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;

protected:
    HWND m_hwnd = nullptr;
};

}  // namespace cartscope::ui

// The program's icon in the notification area, with a tool tip and a balloon:
// the automatic update announces through it what it found and installed.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include "cmd/framework/window.h"

namespace cartscope::ui {

class CSystemTray : public Window {
public:
    static constexpr UINT kIconId = 12345;
    static constexpr UINT kCallbackMessage = WM_APP + 1;
    static constexpr wchar_t kToolTip[] = L"Cartscope";
    static constexpr wchar_t kBalloonTitle[] = L"Cartscope UpDate!";

    CSystemTray() = default;
    // Removes the icon and destroys the window.
    ~CSystemTray() override;

    // Adds `icon` with the tool tip; with `balloonText` (not null) and balloon
    // support, shows that balloon for `seconds`. False when the icon could not
    // be added.
    bool createIcon(HICON icon, const wchar_t* balloonText, unsigned seconds);
    // Replaces the balloon of the existing icon; false without balloon support.
    bool showBalloon(const wchar_t* text, unsigned seconds);
    // Takes the icon out of the notification area; true when it is gone (or
    // there is no notification area).
    bool removeIcon();

    // The icon's callback message.
    virtual LRESULT handleTrayNotify(WPARAM wParam, LPARAM lParam);
    // Called before the icon's menu is shown.
    virtual void adjustTrayMenu(HMENU menu);

    bool enabled() const { return m_enabled; }
    bool hidden() const { return m_hidden; }
    bool removed() const { return m_removed; }
    bool showPending() const { return m_showPending; }
    const NOTIFYICONDATAW& notifyRecord() const { return m_record; }

    // The size written into the notify record, chosen once from the system's
    // version; balloons need more than the oldest size.
    static DWORD recordSize();
    static bool balloonsSupported() { return recordSize() > NOTIFYICONDATAW_V1_SIZE; }

    // Shell_NotifyIconW, unless a test put its own recorder here.
    using NotifyFunction = BOOL(WINAPI*)(DWORD, PNOTIFYICONDATAW);
    static NotifyFunction notify;

private:
    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void setBalloon(const wchar_t* text, unsigned seconds);
    void addAgain();

    NOTIFYICONDATAW m_record = {};
    bool m_enabled = true;
    bool m_hidden = true;
    bool m_removed = true;
    bool m_showPending = false;
    UINT m_savedFlags = 0;
};

}  // namespace cartscope::ui

#include "cmd/framework/system_tray.h"

#include <cwchar>

#include "cmd/framework/application.h"
#include "win/system_version.h"

namespace cartscope::ui {

namespace {

const wchar_t kWindowClass[] = L"CartscopeSystemTray";

UINT taskbarCreatedMessage() {
    static const UINT message = RegisterWindowMessageW(L"TaskbarCreated");
    return message;
}

// Copies at most `capacity` - 1 characters and ends them.
template <std::size_t N>
void copyCut(wchar_t (&target)[N], const wchar_t* text) {
    std::wcsncpy(target, text ? text : L"", N - 1);
    target[N - 1] = L'\0';
}

}  // namespace

CSystemTray::NotifyFunction CSystemTray::notify = Shell_NotifyIconW;

DWORD CSystemTray::recordSize() {
    static const DWORD size = [] {
        const unsigned version = win::windowsVersion();
        if (version >= 0x0600) return static_cast<DWORD>(sizeof(NOTIFYICONDATAW));
        if (version >= 0x0501) return static_cast<DWORD>(NOTIFYICONDATAW_V3_SIZE);
        if (version >= 0x0500) return static_cast<DWORD>(NOTIFYICONDATAW_V2_SIZE);
        return static_cast<DWORD>(NOTIFYICONDATAW_V1_SIZE);
    }();
    return size;
}

CSystemTray::~CSystemTray() {
    removeIcon();
    if (m_hwnd) DestroyWindow(m_hwnd);
}

bool CSystemTray::createIcon(HICON icon, const wchar_t* balloonText, unsigned seconds) {
    if (win::windowsVersion() < 0x0400) {
        m_enabled = false;
        return false;
    }
    if (!m_hwnd) {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = windowProcedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kWindowClass;
        RegisterClassW(&windowClass);  // registered once per process; later calls fail harmlessly
        m_hwnd = CreateWindowExW(0, kWindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, windowClass.hInstance, this);
        if (!m_hwnd) return false;
    }
    taskbarCreatedMessage();

    m_record = {};
    m_record.cbSize = recordSize();
    m_record.hWnd = m_hwnd;
    m_record.uID = kIconId;
    m_record.uFlags = NIF_ICON | NIF_TIP | NIF_MESSAGE;
    m_record.uCallbackMessage = kCallbackMessage;
    m_record.hIcon = icon;
    copyCut(m_record.szTip, kToolTip);
    if (balloonText && balloonsSupported()) setBalloon(balloonText, seconds);

    m_savedFlags = m_record.uFlags;
    const bool added = notify(NIM_ADD, &m_record) != FALSE;
    m_hidden = m_removed = m_showPending = !added;
    // A later re-add or change must not show this balloon again.
    m_record.szInfo[0] = L'\0';
    return added;
}

void CSystemTray::setBalloon(const wchar_t* text, unsigned seconds) {
    m_record.uFlags |= NIF_INFO;
    copyCut(m_record.szInfo, text);
    copyCut(m_record.szInfoTitle, kBalloonTitle);
    m_record.dwInfoFlags = NIIF_WARNING;
    m_record.uTimeout = seconds * 1000;
}

bool CSystemTray::showBalloon(const wchar_t* text, unsigned seconds) {
    if (!balloonsSupported()) return false;
    m_record.uFlags = 0;
    setBalloon(text, seconds);
    const bool shown = notify(NIM_MODIFY, &m_record) != FALSE;
    m_record.szInfo[0] = L'\0';
    return shown;
}

bool CSystemTray::removeIcon() {
    m_showPending = false;
    if (!m_enabled || m_removed) return true;
    m_record.uFlags = 0;
    if (notify(NIM_DELETE, &m_record)) m_hidden = m_removed = true;
    return m_removed;
}

void CSystemTray::addAgain() {
    m_record.uFlags = m_savedFlags;
    const bool added = notify(NIM_ADD, &m_record) != FALSE;
    m_hidden = m_showPending = !added;
    if (added) m_removed = false;
}

LRESULT CSystemTray::handleTrayNotify(WPARAM wParam, LPARAM lParam) {
    if (wParam != kIconId) return 0;
    Application* application = Application::current();
    Window* main = application ? application->mainWindow() : nullptr;
    HWND target = main ? main->handle() : nullptr;
    if (!target) return 0;
    if (lParam != WM_RBUTTONUP && lParam != WM_LBUTTONDBLCLK) return 0;
    HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIconId));
    if (!menu) return 0;
    HMENU popup = GetSubMenu(menu, 0);
    if (popup) {
        SetMenuDefaultItem(popup, 0, TRUE);
        if (lParam == WM_RBUTTONUP) {
            adjustTrayMenu(popup);
            POINT cursor;
            GetCursorPos(&cursor);
            SetForegroundWindow(target);
            TrackPopupMenu(popup, 0, cursor.x, cursor.y, 0, target, nullptr);
            PostMessageW(target, WM_NULL, 0, 0);
        } else {
            SetForegroundWindow(target);
            PostMessageW(target, WM_COMMAND, GetMenuItemID(popup, 0), 0);
        }
    }
    DestroyMenu(menu);
    return 1;
}

void CSystemTray::adjustTrayMenu(HMENU) {}

LRESULT CALLBACK CSystemTray::windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        static_cast<CSystemTray*>(create->lpCreateParams)->m_hwnd = window;
    }
    auto* tray = reinterpret_cast<CSystemTray*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!tray) return DefWindowProcW(window, message, wParam, lParam);
    return tray->onMessage(message, wParam, lParam);
}

LRESULT CSystemTray::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kCallbackMessage) return handleTrayNotify(wParam, lParam);
    if (message == taskbarCreatedMessage() && message != 0) {
        // The task bar was made anew (the Explorer restarted): add the icon again.
        m_showPending = true;
        if (!m_hidden) addAgain();
        return 0;
    }
    const LRESULT result = DefWindowProcW(m_hwnd, message, wParam, lParam);
    if (message == WM_SETTINGCHANGE && wParam == SPI_SETWORKAREA) {
        m_showPending = !m_hidden;
        if (m_showPending) addAgain();
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
        m_hwnd = nullptr;
    }
    return result;
}

}  // namespace cartscope::ui

#include "cmd/framework/window.h"

namespace cartscope::ui {

bool Window::bindItem(HWND dialog, int id) {
    m_hwnd = dialog != nullptr ? GetDlgItem(dialog, id) : nullptr;
    return m_hwnd != nullptr;
}

bool Window::setText(const std::wstring& text) { return SetWindowTextW(m_hwnd, text.c_str()) != FALSE; }

std::wstring Window::text() const {
    const int length = GetWindowTextLengthW(m_hwnd);
    if (length <= 0) {
        return {};
    }
    std::wstring result(static_cast<size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(m_hwnd, result.data(), length + 1);
    result.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return result;
}

void Window::enable(bool enabled) { EnableWindow(m_hwnd, enabled ? TRUE : FALSE); }

bool Window::isEnabled() const { return IsWindowEnabled(m_hwnd) != FALSE; }

LRESULT Window::sendMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
    return SendMessageW(m_hwnd, message, wParam, lParam);
}

bool Window::postMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
    return PostMessageW(m_hwnd, message, wParam, lParam) != FALSE;
}

}  // namespace cartscope::ui

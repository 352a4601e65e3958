#include "cmd/framework/dialog.h"

#include "cmd/framework/application.h"

namespace cartscope::ui {

Dialog::Dialog(UINT templateId, HWND parent) : m_templateId(templateId), m_parent(parent) {}

INT_PTR Dialog::doModal() {
    HINSTANCE module = nullptr;
    if (Application* app = Application::current()) {
        module = app->instance();
    }
    if (module == nullptr) {
        module = GetModuleHandleW(nullptr);
    }
    const INT_PTR result =
        DialogBoxParamW(module, MAKEINTRESOURCEW(m_templateId), m_parent, &Dialog::dialogProc, reinterpret_cast<LPARAM>(this));
    m_hwnd = nullptr;
    return result;
}

void Dialog::endDialog(INT_PTR result) { EndDialog(m_hwnd, result); }

bool Dialog::setTimer(UINT_PTR id, UINT milliseconds) { return SetTimer(m_hwnd, id, milliseconds, nullptr) != 0; }

void Dialog::killTimer(UINT_PTR id) { KillTimer(m_hwnd, id); }

bool Dialog::onInitDialog() { return true; }

bool Dialog::onCommand(UINT id, UINT, HWND) {
    if (id == IDOK || id == IDCANCEL) {
        endDialog(static_cast<INT_PTR>(id));
        return true;
    }
    return false;
}

void Dialog::onTimer(UINT_PTR) {}

bool Dialog::onSysCommand(UINT, LPARAM) { return false; }

bool Dialog::onPaint() { return false; }

void Dialog::onClose() { onCommand(IDCANCEL, BN_CLICKED, GetDlgItem(m_hwnd, IDCANCEL)); }

bool Dialog::onMessage(UINT, WPARAM, LPARAM, INT_PTR&) { return false; }

INT_PTR CALLBACK Dialog::dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Dialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lParam);
        SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        self->m_hwnd = hwnd;
    } else {
        self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    // Messages that come before WM_INITDIALOG (WM_SETFONT) go to the dialog manager.
    if (self == nullptr) {
        return FALSE;
    }
    const INT_PTR result = self->dispatch(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->m_hwnd = nullptr;
    }
    return result;
}

INT_PTR Dialog::dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            return onInitDialog() ? TRUE : FALSE;
        case WM_COMMAND:
            return onCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)) ? TRUE : FALSE;
        case WM_TIMER:
            onTimer(static_cast<UINT_PTR>(wParam));
            return TRUE;
        case WM_SYSCOMMAND:
            return onSysCommand(static_cast<UINT>(wParam), lParam) ? TRUE : FALSE;
        case WM_PAINT:
            return onPaint() ? TRUE : FALSE;
        case WM_CLOSE:
            onClose();
            return TRUE;
        default: {
            INT_PTR result = FALSE;
            if (onMessage(message, wParam, lParam, result)) {
                return result;
            }
            return FALSE;
        }
    }
}

}  // namespace cartscope::ui

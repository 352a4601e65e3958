// Modal dialogs built from dialog templates in the program's resources.
// Subclasses override the handlers they need; each handler's default does what
// the dialog manager would do without it.
#pragma once

#include "cmd/framework/window.h"

namespace cartscope::ui {

class Dialog : public Window {
public:
    // The template is looked up in the module that holds the running
    // application (or the program's own module when there is none).
    explicit Dialog(UINT templateId, HWND parent = nullptr);

    // Shows the dialog and runs its modal loop until endDialog. Returns the
    // result given to endDialog, or -1 when the dialog could not be created.
    INT_PTR doModal();

    // Ends the modal loop once the current message has been handled.
    void endDialog(INT_PTR result);

    // Timers post WM_TIMER to this dialog; onTimer receives them.
    bool setTimer(UINT_PTR id, UINT milliseconds);
    void killTimer(UINT_PTR id);

    UINT templateId() const { return m_templateId; }

protected:
    // WM_INITDIALOG, after the handle is known. Return true to let the dialog
    // manager give the focus to the first control.
    virtual bool onInitDialog();
    // WM_COMMAND from a control, a menu or the dialog manager (Enter gives IDOK,
    // Escape IDCANCEL). Returns whether it was handled. By default IDOK and
    // IDCANCEL end the dialog with their id as the result.
    virtual bool onCommand(UINT id, UINT notifyCode, HWND control);
    virtual void onTimer(UINT_PTR id);
    // WM_SYSCOMMAND. Return false to leave the command to the dialog manager.
    virtual bool onSysCommand(UINT id, LPARAM lParam);
    // WM_PAINT. Return false to leave the painting to the dialog manager.
    virtual bool onPaint();
    // WM_CLOSE (the caption's close box, Alt+F4). By default it is the same as
    // the Cancel button: onCommand(IDCANCEL).
    virtual void onClose();
    // Any other message. Return true when handled, with the result for the
    // dialog manager in 'result'.
    virtual bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result);

private:
    static INT_PTR CALLBACK dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    UINT m_templateId;
    HWND m_parent;
};

}  // namespace cartscope::ui

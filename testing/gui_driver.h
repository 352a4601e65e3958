// Driving windows from a test, as a user would: texts through WM_GETTEXT
// (GetWindowText does not ask another process's controls), dialogs found by
// class and caption, buttons pressed with BM_CLICK, screenshots for people to
// look at.
#pragma once

#include <windows.h>

#include <string>

namespace cartscope::gui_testing {

std::wstring windowText(HWND window);

// A visible dialog (class #32770) with this caption and, when `item` is not
// 0, a control of that id. `process` 0 means any process but this one.
HWND findDialog(const wchar_t* caption, int item = 0, DWORD process = 0);

// The dialog's first push button (a message box's only one, for MB_OK).
HWND firstButton(HWND dialog);

// A message box's button with this text ("&Retry", "&Abort", ...), or null.
HWND buttonWithText(HWND dialog, const std::wstring& text);

// Presses a button and waits (at most 5 s) until `dialog` is gone when given.
void press(HWND button, HWND dialog = nullptr);

// Saves what the window shows as `name` (a PNG) in $CARTSCOPE_SCREENSHOT_DIR;
// nothing when that is not set.
void screenshot(HWND window, const std::string& name);

}  // namespace cartscope::gui_testing

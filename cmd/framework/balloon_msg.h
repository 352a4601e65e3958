// A balloon tool tip that points at a control of a dialog, for short messages
// such as an invalid entry, and goes at the next key, click or focus change.
// One balloon exists per process at a time; its state is process-wide.
#pragma once

#include <windows.h>

#include <string>

namespace cartscope::ui {

class CXBalloonMsg {
public:
    static constexpr wchar_t kTitle[] = L"Cartscope Settings";
    static constexpr UINT kToolId = 10001;

    // Gives the parent its own window procedure back if it is still replaced.
    virtual ~CXBalloonMsg();

    // Shows `text` at `control` of `parent`; a `text` of 0xFFFF or less (made
    // with MAKEINTRESOURCEW) is a string resource of the program. Nothing is
    // shown without text or either window. A balloon already shown goes first.
    static void show(const wchar_t* text, HWND control, HWND parent);
    // Removes the balloon, if any.
    static void hide();

    // The user's "EnableBalloonTips" setting (true when it is not set).
    static bool balloonTipsEnabled();

    // What is shown: the tool tip window (null when none) and its text.
    static HWND toolTip();
    static std::wstring text();
};

}  // namespace cartscope::ui

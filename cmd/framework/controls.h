// Thin wrappers for the controls of a dialog, bound to their items by id
// (Window::bindItem). They may be used from a worker thread: every call is a
// message that Windows hands to the dialog's thread.
#pragma once

#include "cmd/framework/window.h"

namespace cartscope::ui {

class ProgressBar : public Window {
public:
    void setRange32(int lower, int upper);
    // Returns the previous position.
    int setPos(int position);
    int pos() const;
};

class Static : public Window {};

class Button : public Window {};

class Edit : public Window {
public:
    // Selects the characters from start up to end; (0, -1) selects everything,
    // (-1, -1) removes the selection and leaves the caret where it is.
    void setSel(int start, int end);
    void scrollCaret();
    // Adds text at the end of the current text and scrolls the end into view.
    void appendText(const std::wstring& text);
};

}  // namespace cartscope::ui

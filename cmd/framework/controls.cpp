#include "cmd/framework/controls.h"

#include <commctrl.h>

namespace cartscope::ui {

void ProgressBar::setRange32(int lower, int upper) {
    sendMessage(PBM_SETRANGE32, static_cast<WPARAM>(lower), static_cast<LPARAM>(upper));
}

int ProgressBar::setPos(int position) { return static_cast<int>(sendMessage(PBM_SETPOS, static_cast<WPARAM>(position))); }

int ProgressBar::pos() const { return static_cast<int>(sendMessage(PBM_GETPOS)); }

void Edit::setSel(int start, int end) { sendMessage(EM_SETSEL, static_cast<WPARAM>(start), static_cast<LPARAM>(end)); }

void Edit::scrollCaret() { sendMessage(EM_SCROLLCARET); }

void Edit::appendText(const std::wstring& text) {
    setText(this->text() + text);
    // Selecting everything and then nothing at the end moves the caret behind
    // the last character; scrolling after each step shows the last line.
    setSel(0, -1);
    scrollCaret();
    setSel(-1, -1);
    scrollCaret();
}

}  // namespace cartscope::ui

// CCartscopeCMDDlg: the log window of batch trim and untrim. A worker thread
// changes one file after the other while the dialog shows its progress.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "cmd/framework/framework.h"
#include "core/rom_info.h"

namespace cartscope::cmd {

class CCartscopeCMDDlg : public ui::Dialog {
public:
    // `command` is "trim" or "untrim".
    CCartscopeCMDDlg(std::wstring command, const std::vector<RomInfo>& roms);
    ~CCartscopeCMDDlg() override;

    // The worker's procedure: 0 after the last file, 1 when cancelled.
    static unsigned __stdcall runBatch(void* dialog);
    // Appends text to the log and scrolls to its end.
    void appendLog(const std::wstring& text);

protected:
    bool onInitDialog() override;
    bool onCommand(UINT id, UINT notifyCode, HWND control) override;
    void onTimer(UINT_PTR id) override;
    bool onSysCommand(UINT id, LPARAM lParam) override;
    bool onPaint() override;

private:
    unsigned batch();

    std::wstring m_command;
    const std::vector<RomInfo>& m_roms;
    ui::ProgressBar m_progress;
    ui::Static m_title;
    ui::Static m_path;
    ui::Static m_counter;
    ui::Edit m_log;
    ui::Button m_cancel;
    HICON m_icon = nullptr;
    std::unique_ptr<ui::WorkerThread> m_worker;
    std::atomic<bool> m_cancelRequested{false};
    std::atomic<bool> m_hadError{false};
};

}  // namespace cartscope::cmd

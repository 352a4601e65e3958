// The settings dialog: the update mode (with the Windows autostart entry that
// follows it) and the rename pattern, checked before anything is stored.
#pragma once

#include <optional>
#include <string>

#include "cmd/framework/balloon_msg.h"
#include "cmd/framework/controls.h"
#include "cmd/framework/dialog.h"
#include "core/settings.h"

namespace cartscope::cmd {

// The autostart entry for an update mode: the Run key's value "Cartscope"
// holds the quoted program path and " /command:auto_update" while the mode is
// AtWindowsStart, and is gone otherwise. Nothing happens when the key cannot
// be opened.
void writeAutostart(UpdateMode mode, const std::wstring& programPath);
// The entry's text for a program path.
std::wstring autostartCommand(const std::wstring& programPath);

// Why a pattern cannot be stored, or nothing: validateRenamePattern, and a
// length that the readers of the setting would refuse.
std::optional<std::wstring> patternProblem(const std::wstring& pattern);

class CCartscopeCMDSettings : public ui::Dialog {
public:
    CCartscopeCMDSettings();

protected:
    bool onInitDialog() override;
    bool onCommand(UINT id, UINT notifyCode, HWND control) override;

private:
    void onOK();

    ui::Button m_manual;
    ui::Button m_atWindowsStart;
    ui::Button m_onFolderOpen;
    ui::Edit m_pattern;
    ui::CXBalloonMsg m_balloon;
};

}  // namespace cartscope::cmd

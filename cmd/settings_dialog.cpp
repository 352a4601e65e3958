#include "cmd/settings_dialog.h"

#include "cmd/about_dialog.h"
#include "cmd/framework/application.h"
#include "core/command_request.h"
#include "core/rename_pattern.h"
#include "cmd/resources/resource.h"
#include "win/module_path.h"
#include "win/reg_key.h"
#include "win/text.h"

namespace cartscope::cmd {

namespace {

const wchar_t* const kRunKey = win::wideChars(kAutostartKeyPath);
const wchar_t* const kRunValue = win::wideChars(kAutostartValue);

bool checked(const ui::Button& button) { return button.sendMessage(BM_GETCHECK) == BST_CHECKED; }

}  // namespace

std::wstring autostartCommand(const std::wstring& programPath) {
    // Quoted: an unquoted path with blanks would let Windows try to start
    // "C:\Program.exe" and the like first.
    return L"\"" + programPath + L"\"" + win::toWide(buildCommandLine(Command::AutoUpdate));
}

void writeAutostart(UpdateMode mode, const std::wstring& programPath) {
    win::RegKey key;
    if (key.open(HKEY_CURRENT_USER, kRunKey, KEY_ALL_ACCESS) != ERROR_SUCCESS) return;
    if (mode == UpdateMode::AtWindowsStart)
        key.setString(kRunValue, autostartCommand(programPath));
    else
        key.deleteValue(kRunValue);
}

std::optional<std::wstring> patternProblem(const std::wstring& pattern) {
    const std::u16string text = win::toUtf16(pattern);
    if (const auto message = validateRenamePattern(text)) return win::toWide(*message);
    // Longer patterns would be stored, but every reader would then fall back
    // to the default pattern without a word.
    if (text.size() >= kMaxSettingStringUnits)
        return L"The Reaname-Pattern must not be longer than " + std::to_wstring(kMaxSettingStringUnits - 1) + L" characters";
    return std::nullopt;
}

CCartscopeCMDSettings::CCartscopeCMDSettings() : ui::Dialog(IDD_SETTINGS) {}

bool CCartscopeCMDSettings::onInitDialog() {
    m_manual.bindItem(handle(), IDC_MODE_MANUAL);
    m_atWindowsStart.bindItem(handle(), IDC_MODE_AT_WINDOWS_START);
    m_onFolderOpen.bindItem(handle(), IDC_MODE_ON_FOLDER_OPEN);
    m_pattern.bindItem(handle(), IDC_RENAME_PATTERN);

    const UpdateMode mode = updateMode();
    m_manual.sendMessage(BM_SETCHECK, mode == UpdateMode::Manual ? BST_CHECKED : BST_UNCHECKED);
    m_atWindowsStart.sendMessage(BM_SETCHECK, mode == UpdateMode::AtWindowsStart ? BST_CHECKED : BST_UNCHECKED);
    m_onFolderOpen.sendMessage(BM_SETCHECK, mode == UpdateMode::OnFolderOpen ? BST_CHECKED : BST_UNCHECKED);
    const std::u16string pattern = renamePattern();
    m_pattern.setText(win::toWide(pattern));
    return true;
}

bool CCartscopeCMDSettings::onCommand(UINT id, UINT notifyCode, HWND control) {
    if (id == IDOK) {
        onOK();
        return true;
    }
    if (id == IDC_SETTINGS_INFO && notifyCode == BN_CLICKED) {
        CartscopeCMDAboutDlg about(handle());
        about.doModal();
        return true;
    }
    return ui::Dialog::onCommand(id, notifyCode, control);
}

void CCartscopeCMDSettings::onOK() {
    const std::wstring text = m_pattern.text();
    if (const auto problem = patternProblem(text)) {
        m_balloon.show(problem->c_str(), m_pattern.handle(), handle());
        return;
    }
    UpdateMode mode = UpdateMode::Manual;
    if (checked(m_manual))
        mode = UpdateMode::Manual;
    else if (checked(m_atWindowsStart))
        mode = UpdateMode::AtWindowsStart;
    else if (checked(m_onFolderOpen))
        mode = UpdateMode::OnFolderOpen;
    writeAutostart(mode, win::modulePath());
    writeUpdateMode(mode);
    writeRenamePattern(win::toUtf16(text));
    endDialog(IDOK);
}

}  // namespace cartscope::cmd

#include "cmd/about_dialog.h"

#include "core/platform/data_folder.h"
#include "core/release_database.h"
#include "cmd/resources/resource.h"
#include "win/module_path.h"
#include "win/path.h"
#include "win/pe_image.h"
#include "win/text.h"
#include "win/version_info.h"

namespace cartscope::cmd {

InstalledVersions installedVersions(const std::wstring& programPath, const std::optional<std::wstring>& dataFolder) {
    InstalledVersions versions;
    win::CFileVersionInfo info;
    info.loadFromFile(programPath);
    versions.program = L"v" + info.fileVersionText();

    const std::wstring library = win::besidePath(programPath, L"Cartscope.dll");
    info.loadFromFile(library);
    versions.library = L"v" + info.fileVersionText();
    switch (win::peMachineBits(library)) {
        case 64:
            versions.library += L" (x64)";
            break;
        case 32:
            versions.library += L" (x86)";
            break;
        default:
            break;
    }

    const std::uint16_t database = dataFolder ? databaseVersion(win::toUtf16(*dataFolder) + u"nds-rom.dat", true) : 0;
    versions.database = L"v" + std::to_wstring(database);
    return versions;
}

CartscopeCMDAboutDlg::CartscopeCMDAboutDlg(HWND parent) : ui::Dialog(IDD_ABOUTBOX, parent) {}

bool CartscopeCMDAboutDlg::onInitDialog() {
    m_programVersion.bindItem(handle(), IDC_VERSION_PROGRAM);
    m_libraryVersion.bindItem(handle(), IDC_VERSION_LIBRARY);
    m_databaseVersion.bindItem(handle(), IDC_VERSION_DATABASE);

    std::optional<std::wstring> data;
    if (const auto folder = platform::dataFolder()) data = win::toWide(*folder);
    const InstalledVersions versions = installedVersions(win::modulePath(), data);
    m_programVersion.setText(versions.program);
    m_libraryVersion.setText(versions.library);
    m_databaseVersion.setText(versions.database);
    return true;
}

}  // namespace cartscope::cmd

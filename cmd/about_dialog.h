// The about box with the installed versions of the program, the library and
// the release database (the plain box of the log dialog's system menu uses the
// same template and leaves its fields as they are).
#pragma once

#include <optional>
#include <string>

#include "cmd/framework/controls.h"
#include "cmd/framework/dialog.h"

namespace cartscope::cmd {

// What the about box shows.
struct InstalledVersions {
    std::wstring program;   // "v1.2.0.0"
    std::wstring library;   // "v1.2.0.0 (x64)", "v" when missing
    std::wstring database;  // "v37", "v0" when missing
};

// The versions of the program at `programPath`, of "Cartscope.dll" beside it
// and of "nds-rom.dat" in `dataFolder` (ending in a separator; none: v0).
InstalledVersions installedVersions(const std::wstring& programPath, const std::optional<std::wstring>& dataFolder);

class CartscopeCMDAboutDlg : public ui::Dialog {
public:
    explicit CartscopeCMDAboutDlg(HWND parent = nullptr);

protected:
    bool onInitDialog() override;

private:
    ui::Static m_programVersion;
    ui::Static m_libraryVersion;
    ui::Static m_databaseVersion;
};

}  // namespace cartscope::cmd

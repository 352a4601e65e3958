// Cartscope CMD: carries out one command per start (the batch operations of
// the context menu, the settings, the about box, the updater and the clean-up
// after an update) and ends.
#include <windows.h>
#include <commctrl.h>

#include "cmd/about_dialog.h"
#include "cmd/cleanup.h"
#include "cmd/framework/framework.h"
#include "cmd/log_dialog.h"
#include "cmd/settings_dialog.h"
#include "core/settings.h"
#include "cmd/startup.h"
#include "cmd/update/updater.h"

namespace cartscope::cmd {

class CCartscopeCMDApp : public ui::Application {
public:
    std::wstring m_command;
    unsigned long m_language = 0;
    std::vector<RomInfo> m_roms;
    std::u16string m_renamePattern;

protected:
    bool initInstance() override {
        if (asksForCleanup(GetCommandLineW())) waitForRestartMutex();

        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
        InitCommonControlsEx(&controls);
        m_renamePattern = renamePattern();

        int count = 0;
        LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
        std::vector<std::wstring> args;
        for (int i = 0; argv && i < count; ++i) args.emplace_back(argv[i]);
        if (argv) LocalFree(argv);
        const Arguments arguments = readArguments(args, [](const std::wstring& path) { ui::messageBox(path, MB_OK); });
        if (arguments.stop) return false;
        m_command = arguments.command;
        m_language = arguments.language;

        switch (const Command command = commandFor(m_command)) {
            case Command::Rename:
            case Command::Trim:
            case Command::Untrim: {
                m_roms = loadRoms(arguments.paths, command);
                if (m_roms.empty()) break;
                if (command == Command::Rename) {
                    renameRoms(m_roms, static_cast<unsigned>(m_language), m_renamePattern);
                } else {
                    CCartscopeCMDDlg dialog(m_command, m_roms);
                    runAsMainWindow(dialog);
                }
                break;
            }
            case Command::Cleanup:
                cleanupAfterUpdate();
                break;
            case Command::AutoUpdate:
            case Command::AutoUpdateAdmin:
            case Command::Update:
            case Command::UpdateAdmin: {
                const bool adminMode = command == Command::AutoUpdateAdmin || command == Command::UpdateAdmin;
                update::UpdaterEnvironment environment = update::programUpdaterEnvironment(adminMode);
                environment.startCleanup = [] { return startCleanupInstance(); };
                update::runUpdateCommand(command == Command::AutoUpdate || command == Command::AutoUpdateAdmin, adminMode,
                                         environment);
                break;
            }
            case Command::Info: {
                CartscopeCMDAboutDlg about;
                runAsMainWindow(about);
                break;
            }
            case Command::Settings: {
                CCartscopeCMDSettings settings;
                runAsMainWindow(settings);
                break;
            }
            case Command::None:
                break;
        }
        return false;  // no message loop: the program ends
    }

    // Runs a dialog modally as the program's main window (message boxes of
    // the program then belong to it).
    void runAsMainWindow(ui::Dialog& dialog) {
        setMainWindow(&dialog);
        dialog.doModal();
        setMainWindow(nullptr);
    }

    int exitInstance() override {
        const int code = ui::Application::exitInstance();
        closeRestartMutex();
        return code;
    }
};

}  // namespace cartscope::cmd

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    cartscope::cmd::CCartscopeCMDApp app;
    return app.run(instance);
}

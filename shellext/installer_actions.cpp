// Entry points for the Windows Installer package (installer/): deferred custom
// actions that run the library from its installed file. Each takes the
// installer's session handle, which they do not need, and gives a Windows
// error code as custom actions must.
#include <windows.h>

#include <string>

#include "core/settings.h"
#include "shellext/module.h"
#include "shellext/registration.h"
#include "win/errors.h"
#include "win/reg_key.h"
#include "win/text.h"

namespace {

using namespace cartscope;
using namespace cartscope::shell;

using SessionHandle = unsigned long;  // MSIHANDLE

UINT actionResult(HRESULT result) { return SUCCEEDED(result) ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE; }

bool samePath(const std::wstring& left, const std::wstring& right) {
    return CompareStringOrdinal(left.c_str(), static_cast<int>(left.size()), right.c_str(), static_cast<int>(right.size()),
                                TRUE) == CSTR_EQUAL;
}

// The program an autostart command starts: the quoted first part, or the whole
// text up to its first blank.
std::wstring programOf(const std::wstring& command) {
    if (!command.empty() && command.front() == L'"') {
        const std::size_t end = command.find(L'"', 1);
        return command.substr(1, end == std::wstring::npos ? std::wstring::npos : end - 1);
    }
    return command.substr(0, command.find(L' '));
}

}  // namespace

// The property schema beside the installed library, written and registered
// (for all users only: the property system has no per-user schemas).
extern "C" UINT __stdcall InstallPropertySchema(SessionHandle) {
    const HRESULT result = registerPropertySchema();
    if (SUCCEEDED(result)) notifyShell();
    return actionResult(result);
}

// Undoes InstallPropertySchema: on uninstallation, and as the rollback of an
// installation that failed after it.
extern "C" UINT __stdcall UninstallPropertySchema(SessionHandle) { return actionResult(unregisterPropertySchema()); }

// Removes the user's autostart entry when it starts the command program beside
// this library; an entry naming another program stays.
extern "C" UINT __stdcall RemoveAutostartEntry(SessionHandle) {
    return actionResult(win::guarded([] {
        win::RegKey run;
        if (run.open(HKEY_CURRENT_USER, win::wideChars(kAutostartKeyPath), KEY_QUERY_VALUE | KEY_SET_VALUE) != ERROR_SUCCESS)
            return S_OK;
        const auto command = run.readString(win::wideChars(kAutostartValue));
        if (!command || !samePath(programOf(*command), commandProgramPath())) return S_OK;
        const LONG deleted = run.deleteValue(win::wideChars(kAutostartValue));
        return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(deleted);
    }));
}

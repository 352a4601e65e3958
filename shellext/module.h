// The library's module: its handle and path, the lock count that tells the
// COM runtime whether the library may be unloaded, and the class factory.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "command_request.h"

namespace cartscope::shell {

HMODULE moduleHandle();
void setModuleHandle(HMODULE module);
// Full path of the library (the buffer grows by 260 units until it fits).
std::wstring modulePath();
// Full path of "Cartscope CMD.exe" in the library's folder.
std::wstring commandProgramPath();
// Starts that program for `command`, naming `pathFile` when given (the
// command line of buildCommandLine); does not wait. ERROR_SUCCESS when it
// started, else the system's error code.
DWORD startCommandProgram(Command command, const std::optional<std::u16string>& pathFile = std::nullopt);
// Switched on by per-user installation; stays on while the library is loaded.
bool& perUserRegistration();

void lockModule();
void unlockModule();
long moduleLockCount();

// The class object of CFileIconExt, made on first request under a lock.
HRESULT getClassObject(REFCLSID clsid, REFIID iid, void** object);

}  // namespace cartscope::shell

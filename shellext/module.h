// The library's module: its handle and path, the command program beside it,
// and the per-user registration switch. Its lock count and class objects
// come with the entry points (dll_main.cpp).
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "core/command_request.h"

namespace cartscope::shell {

HMODULE moduleHandle();
void setModuleHandle(HMODULE module);
// Full path of the library.
std::wstring modulePath();
// Full path of "Cartscope CMD.exe" in the library's folder.
std::wstring commandProgramPath();
// Starts that program for `command`, naming `pathFile` when given (the
// command line of buildCommandLine); does not wait. ERROR_SUCCESS when it
// started, else the system's error code.
DWORD startCommandProgram(Command command, const std::optional<std::u16string>& pathFile = std::nullopt);
// Switched on by per-user installation; stays on while the library is loaded.
bool& perUserRegistration();

}  // namespace cartscope::shell

#include "win/process.h"

namespace cartscope::win {

StartedProcess startProcess(const wchar_t* program, std::wstring commandLine, DWORD flags, void* environment,
                            const wchar_t* folder) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION information = {};
    StartedProcess started;
    if (!CreateProcessW(program, commandLine.empty() ? nullptr : commandLine.data(), nullptr, nullptr, FALSE, flags, environment,
                        folder, &startup, &information)) {
        const DWORD error = GetLastError();
        started.error = error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
        return started;
    }
    started.process.reset(information.hProcess);
    started.thread.reset(information.hThread);
    started.id = information.dwProcessId;
    return started;
}

}  // namespace cartscope::win

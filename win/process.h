// Starting other programs.
#pragma once

#include <windows.h>

#include <string>

#include "win/handle.h"

namespace cartscope::win {

struct StartedProcess {
    Handle process;
    Handle thread;
    DWORD id = 0;
    DWORD error = ERROR_SUCCESS;  // why it did not start
    explicit operator bool() const noexcept { return error == ERROR_SUCCESS; }
};

// Starts `program` (null: the command line's first word names it) with
// `commandLine` (empty: none), without waiting for it. `environment` and
// `folder` as CreateProcessW takes them (null: this process's).
StartedProcess startProcess(const wchar_t* program, std::wstring commandLine, DWORD flags = 0, void* environment = nullptr,
                            const wchar_t* folder = nullptr);

}  // namespace cartscope::win

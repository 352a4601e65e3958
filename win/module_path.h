// Where a module's file is, and files beside it.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace cartscope::win {

// The full path of the module's file (null: the running program's), however
// long it is: the buffer starts at MAX_PATH units and doubles until the path
// fits. Empty when the system cannot tell it.
std::wstring modulePath(HMODULE module = nullptr);

// The file `name` in the folder of the module's file.
std::wstring besideModule(HMODULE module, std::wstring_view name);

}  // namespace cartscope::win

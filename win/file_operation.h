// Moving files through the shell, as the Explorer moves them.
#pragma once

#include <windows.h>

#include <string>

namespace cartscope::win {

// Moves each file of `from` to the name at the same place in `to`, in one
// shell operation owned by `owner`. Each list holds its names one after the
// other, each ended by a NUL; the NUL that ends a list is added here. The
// shell's result: 0 when it worked.
int moveFiles(HWND owner, std::wstring from, std::wstring to);

}  // namespace cartscope::win

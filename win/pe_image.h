// What a program or library file was built for.
#pragma once

#include <string>

namespace cartscope::win {

// 32 or 64 for a PE file built for x86 or x64, 0 for anything else or a file
// that cannot be read.
int peMachineBits(const std::wstring& path);

}  // namespace cartscope::win

// The version of Windows the process runs on.
#pragma once

namespace cartscope::win {

// Major version * 256 + minor version (0x0601 for Windows 7), asked once per
// process; 0 when the system does not tell.
unsigned windowsVersion();

}  // namespace cartscope::win

#include "win/system_version.h"

#include <windows.h>

namespace cartscope::win {

unsigned windowsVersion() {
    static const unsigned version = [] {
        OSVERSIONINFOW info = {};
        info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        if (!GetVersionExW(&info)) return 0u;
#pragma GCC diagnostic pop
        return static_cast<unsigned>(info.dwMajorVersion * 256 + info.dwMinorVersion);
    }();
    return version;
}

}  // namespace cartscope::win

#include "win/module_path.h"

#include "win/path.h"

namespace cartscope::win {

std::wstring modulePath(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        // A path that fills the buffer may have been cut.
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring besideModule(HMODULE module, std::wstring_view name) { return besidePath(modulePath(module), name); }

}  // namespace cartscope::win

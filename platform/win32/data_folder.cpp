// The roaming application-data folder followed by "\Cartscope\".
#include "core/platform/data_folder.h"

#include <windows.h>
#include <shlobj.h>

#include "win/text.h"

namespace cartscope::platform {

std::optional<std::u16string> dataFolder() {
    wchar_t folder[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, folder, CSIDL_APPDATA, FALSE)) return std::nullopt;
    return std::u16string(win::utf16Chars(folder)) + u"\\Cartscope\\";
}

}  // namespace cartscope::platform

// $XDG_DATA_HOME/cartscope/, or ~/.local/share/cartscope/.
#include "core/platform/data_folder.h"

#include <cstdlib>

#include "core/text.h"

namespace cartscope::platform {

std::optional<std::u16string> dataFolder() {
    // Relative paths in these variables are to be ignored.
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome && dataHome[0] == '/') return fromUtf8(dataHome, Utf8Errors::Escape) + u"/cartscope/";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return fromUtf8(home, Utf8Errors::Escape) + u"/.local/share/cartscope/";
    return std::nullopt;
}

}  // namespace cartscope::platform

// The settings store on platforms without a registry: it holds nothing, so
// every reader falls back to its default, and it takes nothing.
#include "core/platform/settings_store.h"

namespace cartscope::platform {

std::optional<SettingValue> readSettingValue(const char16_t*) { return std::nullopt; }

bool writeSettingValue(const char16_t*, SettingType, const void*, std::size_t) { return false; }

}  // namespace cartscope::platform

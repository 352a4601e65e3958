// The settings store on Windows: values of the key SOFTWARE\Velmora\Cartscope
// under HKEY_CURRENT_USER, opened and closed again for every read or write.
#include "core/platform/settings_store.h"

#include <windows.h>

#include <utility>

#include "win/reg_key.h"
#include "win/text.h"

namespace cartscope::platform {

namespace {

using win::wideChars;

// Readers ask for more than reading (0x2001F); they still never create the key.
constexpr REGSAM kReaderAccess = KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
static_assert(kReaderAccess == 0x2001F, "reader access rights");

}  // namespace

std::optional<SettingValue> readSettingValue(const char16_t* name) {
    win::RegKey key;
    if (key.open(HKEY_CURRENT_USER, wideChars(kSettingsKeyPath), kReaderAccess) != ERROR_SUCCESS) return std::nullopt;
    auto stored = key.readValue(wideChars(name));
    if (!stored) return std::nullopt;
    SettingValue value;
    value.type = stored->type;
    value.data = std::move(stored->data);
    return value;
}

bool writeSettingValue(const char16_t* name, SettingType type, const void* data, std::size_t size) {
    if (size > MAXDWORD) return false;
    win::RegKey key;
    if (key.open(HKEY_CURRENT_USER, wideChars(kSettingsKeyPath), KEY_ALL_ACCESS) != ERROR_SUCCESS &&
        key.create(HKEY_CURRENT_USER, wideChars(kSettingsKeyPath), KEY_ALL_ACCESS) != ERROR_SUCCESS)
        return false;
    return key.setValue(wideChars(name), static_cast<DWORD>(type), data, static_cast<DWORD>(size)) == ERROR_SUCCESS;
}

}  // namespace cartscope::platform

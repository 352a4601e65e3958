// Where the user's settings are kept: the seam between the portable settings
// functions (settings.h) and the platform. On Windows this is the registry key
// SOFTWARE\Velmora\Cartscope under HKEY_CURRENT_USER; other platforms have no
// such store, so nothing is found there and nothing can be written.
//
// Nothing is cached: every call opens the key, does its one read or write and
// closes the key again, so a change made by another process is seen by the
// next call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace cartscope::platform {

// The key that holds the settings, below HKEY_CURRENT_USER.
inline constexpr char16_t kSettingsKeyPath[] = u"SOFTWARE\\Velmora\\Cartscope";

// Value types as the store keeps them (the numbers of the registry types).
enum class SettingType : std::uint32_t { String = 1, ExpandString = 2, Dword = 4, Qword = 11 };

// One stored value: its type number (any type the store holds, not only the
// ones above) and its bytes exactly as stored.
struct SettingValue {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};

// Reads the value `name` of the settings key; nullopt when the key or the value
// is missing or cannot be read. The key is opened for reading, setting values
// and creating subkeys (0x2001F), never created, and closed again.
std::optional<SettingValue> readSettingValue(const char16_t* name);

// Writes `size` bytes at `data` as the value `name` of type `type`. The key is
// opened with full access, or created when it cannot be opened (non-volatile,
// no class, default security). Gives false when the key can neither be opened
// nor created or the value is refused; callers may drop that silently.
bool writeSettingValue(const char16_t* name, SettingType type, const void* data, std::size_t size);

}  // namespace cartscope::platform

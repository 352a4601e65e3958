// The settings store on Windows: values of the key SOFTWARE\Velmora\Cartscope
// under HKEY_CURRENT_USER, opened and closed again for every read or write.
#include "platform/settings_store.h"

#include <windows.h>

namespace cartscope::platform {

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 units");

// Readers ask for more than reading (0x2001F); they still never create the key.
constexpr REGSAM kReaderAccess = KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
static_assert(kReaderAccess == 0x2001F, "reader access rights");

// A value that keeps changing size between the size query and the read is
// given up on after this many tries.
constexpr int kReadAttempts = 4;

const wchar_t* wide(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }

// An open registry key, closed when the holder goes.
class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey() {
        if (key_ != nullptr) RegCloseKey(key_);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // Opens the settings key with `access`; false when it cannot be opened.
    bool open(REGSAM access) {
        HKEY opened = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, wide(kSettingsKeyPath), 0, access, &opened) != ERROR_SUCCESS) return false;
        adopt(opened);
        return true;
    }

    // Creates (or opens) the settings key with full access.
    bool create() {
        HKEY created = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, wide(kSettingsKeyPath), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &created, nullptr) != ERROR_SUCCESS)
            return false;
        adopt(created);
        return true;
    }

    HKEY get() const { return key_; }

private:
    void adopt(HKEY key) {
        if (key_ != nullptr) RegCloseKey(key_);
        key_ = key;
    }

    HKEY key_ = nullptr;
};

}  // namespace

std::optional<SettingValue> readSettingValue(const char16_t* name) {
    RegistryKey key;
    if (!key.open(kReaderAccess)) return std::nullopt;

    SettingValue value;
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExW(key.get(), wide(name), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            return std::nullopt;
        value.data.resize(size);
        // The value may have changed since the size was asked for: another
        // process may write it at any time.
        const LONG result = RegQueryValueExW(key.get(), wide(name), nullptr, &type,
                                             size != 0 ? value.data.data() : nullptr, &size);
        if (result == ERROR_MORE_DATA) continue;
        if (result != ERROR_SUCCESS) return std::nullopt;
        value.type = type;
        value.data.resize(size);
        return value;
    }
    return std::nullopt;
}

bool writeSettingValue(const char16_t* name, SettingType type, const void* data, std::size_t size) {
    if (size > MAXDWORD) return false;
    RegistryKey key;
    if (!key.open(KEY_ALL_ACCESS) && !key.create()) return false;
    return RegSetValueExW(key.get(), wide(name), 0, static_cast<DWORD>(type), static_cast<const BYTE*>(data),
                          static_cast<DWORD>(size)) == ERROR_SUCCESS;
}

}  // namespace cartscope::platform

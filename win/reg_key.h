// An open registry key, closed when its holder goes, with the reads and
// writes the modules need. Functions that can fail give the system's error
// code (ERROR_SUCCESS when they worked); reads give nothing instead.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "win/handle.h"

namespace cartscope::win {

struct RegKeyTraits {
    using Type = HKEY;
    static Type invalid() noexcept { return nullptr; }
    static bool valid(Type key) noexcept { return key != nullptr; }
    static void close(Type key) noexcept { RegCloseKey(key); }
};

// Deletes `path` below `parent` with all its subkeys and values.
LONG deleteTree(HKEY parent, const wchar_t* path) noexcept;

class RegKey {
public:
    // One stored value: its type (REG_*) and its bytes as stored.
    struct Value {
        DWORD type = REG_NONE;
        std::vector<BYTE> data;
    };

    RegKey() noexcept = default;
    explicit RegKey(HKEY key) noexcept : key_(key) {}

    // Opens `path` below `parent` (a root such as HKEY_CURRENT_USER, or an
    // open key, even this one's) with `access`; the key held before is
    // closed. On failure the holder is empty.
    LONG open(HKEY parent, const wchar_t* path, REGSAM access) noexcept;
    // The same, but a missing key is created (non-volatile, no class, default
    // security).
    LONG create(HKEY parent, const wchar_t* path, REGSAM access) noexcept;

    HKEY get() const noexcept { return key_.get(); }
    explicit operator bool() const noexcept { return static_cast<bool>(key_); }
    void reset() noexcept { key_.reset(); }

    LONG setValue(const wchar_t* name, DWORD type, const void* data, DWORD size) const noexcept;
    // REG_SZ, stored with its closing NUL. A null `name` is the default value.
    LONG setString(const wchar_t* name, std::wstring_view text) const;
    LONG setDword(const wchar_t* name, DWORD value) const noexcept;
    LONG setQword(const wchar_t* name, ULONGLONG value) const noexcept;

    // Any value as stored. A value that another process keeps resizing
    // between the size query and the read is given up after a few tries.
    std::optional<Value> readValue(const wchar_t* name) const;
    // A REG_SZ or REG_EXPAND_SZ value (not expanded), without closing NULs.
    std::optional<std::wstring> readString(const wchar_t* name) const;
    // A REG_DWORD of exactly four bytes.
    std::optional<DWORD> readDword(const wchar_t* name) const;
    // A REG_QWORD of exactly eight bytes.
    std::optional<ULONGLONG> readQword(const wchar_t* name) const;

    LONG deleteValue(const wchar_t* name) const noexcept;
    // Deletes the subkey `path` of this key with everything below it.
    LONG deleteSubtree(const wchar_t* path) const noexcept { return deleteTree(get(), path); }

private:
    UniqueHandle<RegKeyTraits> key_;
};

}  // namespace cartscope::win

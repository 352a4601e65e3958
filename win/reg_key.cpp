#include "win/reg_key.h"

#include <cstring>

namespace cartscope::win {

namespace {

constexpr int kReadAttempts = 4;

template <class Number>
std::optional<Number> readNumber(const RegKey& key, const wchar_t* name, DWORD type) {
    const auto value = key.readValue(name);
    if (!value || value->type != type || value->data.size() != sizeof(Number)) return std::nullopt;
    Number number;
    std::memcpy(&number, value->data.data(), sizeof number);
    return number;
}

}  // namespace

LONG deleteTree(HKEY parent, const wchar_t* path) noexcept { return RegDeleteTreeW(parent, path); }

LONG RegKey::open(HKEY parent, const wchar_t* path, REGSAM access) noexcept {
    HKEY opened = nullptr;
    const LONG result = RegOpenKeyExW(parent, path, 0, access, &opened);
    // After the call: `parent` may be the key held so far.
    key_.reset(result == ERROR_SUCCESS ? opened : nullptr);
    return result;
}

LONG RegKey::create(HKEY parent, const wchar_t* path, REGSAM access) noexcept {
    HKEY created = nullptr;
    const LONG result = RegCreateKeyExW(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &created, nullptr);
    key_.reset(result == ERROR_SUCCESS ? created : nullptr);
    return result;
}

LONG RegKey::setValue(const wchar_t* name, DWORD type, const void* data, DWORD size) const noexcept {
    return RegSetValueExW(get(), name, 0, type, static_cast<const BYTE*>(data), size);
}

LONG RegKey::setString(const wchar_t* name, std::wstring_view text) const {
    const std::wstring closed(text);
    return setValue(name, REG_SZ, closed.c_str(), static_cast<DWORD>((closed.size() + 1) * sizeof(wchar_t)));
}

LONG RegKey::setDword(const wchar_t* name, DWORD value) const noexcept { return setValue(name, REG_DWORD, &value, sizeof value); }

LONG RegKey::setQword(const wchar_t* name, ULONGLONG value) const noexcept {
    return setValue(name, REG_QWORD, &value, sizeof value);
}

std::optional<RegKey::Value> RegKey::readValue(const wchar_t* name) const {
    Value value;
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExW(get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
        value.data.resize(size);
        // Another process may change the value between the two calls.
        const LONG result = RegQueryValueExW(get(), name, nullptr, &type, size != 0 ? value.data.data() : nullptr, &size);
        if (result == ERROR_MORE_DATA) continue;
        if (result != ERROR_SUCCESS) return std::nullopt;
        value.type = type;
        value.data.resize(size);
        return value;
    }
    return std::nullopt;
}

std::optional<std::wstring> RegKey::readString(const wchar_t* name) const {
    const auto value = readValue(name);
    if (!value || (value->type != REG_SZ && value->type != REG_EXPAND_SZ)) return std::nullopt;
    std::wstring text(value->data.size() / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), value->data.data(), text.size() * sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
}

std::optional<DWORD> RegKey::readDword(const wchar_t* name) const { return readNumber<DWORD>(*this, name, REG_DWORD); }

std::optional<ULONGLONG> RegKey::readQword(const wchar_t* name) const { return readNumber<ULONGLONG>(*this, name, REG_QWORD); }

LONG RegKey::deleteValue(const wchar_t* name) const noexcept { return RegDeleteValueW(get(), name); }

}  // namespace cartscope::win

// The core's UTF-16 strings (char16_t) and the system's wide strings
// (wchar_t) are the same units on Windows: views of one as the other, without
// copying.
#pragma once

#include <string>
#include <string_view>

namespace cartscope::win {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 units");

inline std::wstring_view wideView(std::u16string_view text) noexcept {
    return {reinterpret_cast<const wchar_t*>(text.data()), text.size()};
}
inline std::u16string_view utf16View(std::wstring_view text) noexcept {
    return {reinterpret_cast<const char16_t*>(text.data()), text.size()};
}

// The same for NUL-terminated strings, for the system's functions.
inline const wchar_t* wideChars(const char16_t* text) noexcept { return reinterpret_cast<const wchar_t*>(text); }
inline const wchar_t* wideChars(const std::u16string& text) noexcept { return wideChars(text.c_str()); }
inline const char16_t* utf16Chars(const wchar_t* text) noexcept { return reinterpret_cast<const char16_t*>(text); }

// Copies, for where a string of the other kind must be kept.
inline std::wstring toWide(std::u16string_view text) { return std::wstring(wideView(text)); }
inline std::u16string toUtf16(std::wstring_view text) { return std::u16string(utf16View(text)); }

}  // namespace cartscope::win

// Conversions between the core's UTF-16 strings and the 8-bit texts around it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace cartscope {

// What becomes of bytes and code units that are not valid UTF-8 or UTF-16.
enum class Utf8Errors {
    // Each malformed sequence becomes U+FFFD: for text that is shown.
    Replace,
    // For file names on systems where they are bytes: a byte 0x80-0xFF that
    // is not part of valid UTF-8 becomes the unpaired surrogate U+DC80-U+DCFF
    // and back, so every name survives the round trip ("surrogate escape").
    // Other unpaired surrogates still become U+FFFD.
    Escape,
};

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD (or its byte, see Utf8Errors).
std::string toUtf8(std::u16string_view text, Utf8Errors errors = Utf8Errors::Replace);
// UTF-8 to UTF-16; a malformed sequence becomes U+FFFD (or see Utf8Errors).
std::u16string fromUtf8(std::string_view text, Utf8Errors errors = Utf8Errors::Replace);
// Plain ASCII (or Latin-1) bytes, each widened to one code unit.
std::u16string widen(std::string_view bytes);
// A number in decimal digits, without sign or separators.
std::u16string decimal(std::uint64_t value);

// The unit that stands for a byte 0x80-0xFF in escaped text.
constexpr char16_t escapedByte(unsigned char byte) { return static_cast<char16_t>(0xDC00 | byte); }
// Whether `unit` stands for a byte in escaped text (U+DC80-U+DCFF).
constexpr bool isEscapedByte(char16_t unit) { return unit >= 0xDC80 && unit <= 0xDCFF; }

}  // namespace cartscope

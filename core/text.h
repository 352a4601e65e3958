// Conversions between the core's UTF-16 strings and the 8-bit texts around it.
#pragma once

#include <string>
#include <string_view>

namespace cartscope {

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string toUtf8(std::u16string_view text);
// UTF-8 to UTF-16; a malformed sequence becomes U+FFFD.
std::u16string fromUtf8(std::string_view text);
// Plain ASCII (or Latin-1) bytes, each widened to one code unit.
std::u16string widen(std::string_view bytes);

}  // namespace cartscope

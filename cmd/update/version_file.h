// The update server's version file and the version numbers it offers.
#pragma once

#include <cstdint>
#include <string>

namespace cartscope::update {

// The value of `key` in the version file's text: what follows the first
// "key:" anywhere in the text up to the next "\r\n" (or the end). True only
// when the key is found and its value is not empty; `value` is empty otherwise.
bool versionFileValue(const std::string& text, const std::string& key, std::string& value);

// A decimal number as strtol reads it: leading white space, an optional sign,
// digits up to the first other character; 0 without digits. Saturates at the
// limits of 32 bits.
std::int32_t readDecimal(const std::string& text);

// Compares two version texts of four numbers with one separator character
// between them ("1.2.0.3", "1, 2, 0, 3"): the first differing number decides
// (remote minus local), 0 when all four agree. A number that cannot be read,
// or is missing, counts as 0.
int compareVersions(const std::string& remote, const std::wstring& local);

}  // namespace cartscope::update

// The update server's version file as every updater reads it: its values,
// the numbers and versions it offers, the SHA-256 values of signed files, and
// the bounds of the transfers that fetch it and what it offers.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace cartscope::update {

// The value of `key` in the version file's text: what follows the first
// "key:" anywhere in the text up to the next "\r\n" (or the end). True only
// when the key is found and its value is not empty; `value` is empty otherwise.
bool versionFileValue(const std::string& text, const std::string& key, std::string& value);

// A decimal number as strtol reads it: leading white space, an optional sign,
// digits up to the first other character; 0 without digits. Saturates at the
// limits of 32 bits.
std::int32_t readDecimal(std::string_view text);

// Compares two version texts of four numbers with one separator character
// between them ("1.2.0.3", "1, 2, 0, 3"): the first differing number decides
// (remote minus local), 0 when all four agree. A number that cannot be read,
// or is missing, counts as 0.
int compareVersions(std::string_view remote, std::u16string_view local);

// Replaces &amp; &Auml; &auml; &Ouml; &ouml; &Uuml; &uuml; &szlig; by their
// ISO 8859-1 bytes, in one pass from left to right: the version file's text
// as the updaters take it.
std::string decodeEntities(const std::string& text);

using Sha256 = std::array<std::uint8_t, 32>;

// Reads 64 hexadecimal digits (either case) and nothing else.
bool readSha256Hex(std::string_view text, Sha256& hash);

// The signature file's size limit: a P-256 signature in DER takes 72 bytes at most.
constexpr std::uint64_t kMaxSignatureBytes = 1024;

// The bounds of a transfer: a server that never answers, trickles, sends
// without end or redirects for ever cannot hold the program or fill its disk.
struct TransferLimits {
    long connectSeconds = 30;            // to connect
    long lowSpeedBytesPerSecond = 1000;  // a transfer slower than this ...
    long lowSpeedSeconds = 60;           // ... for this many seconds in a row ends
    long totalSeconds = 0;               // the whole transfer; 0: no bound
    std::uint64_t maxBytes = 0;          // the body as received; 0: no bound
    long maxRedirects = 10;
};

// The version file: two minutes and 64 KiB at most.
TransferLimits versionFileLimits();
// A download the version file offers: 64 MiB at most.
TransferLimits downloadLimits();

}  // namespace cartscope::update

// Builds small Windows PE images for tests and fuzzer seeds: a file header for
// a chosen machine, an optional header, and a resource section that holds
// version resources in any number of languages. The version resource itself
// is built from blocks, so that tests can also write ones that are damaged.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace cartscope::testing {

// One block of a version resource: key, value and children.
struct VersionBlock {
    std::u16string key;
    std::vector<std::uint8_t> value;
    std::optional<std::uint16_t> valueLength;  // default: characters of a text, bytes of binary data
    bool text = false;
    std::vector<VersionBlock> children;
    std::optional<std::uint16_t> length;  // default: the block's real length
};

std::vector<std::uint8_t> buildVersionBlock(const VersionBlock& block);

// A text value with its terminating zero.
VersionBlock versionString(const std::u16string& key, const std::u16string& text);

// A string table's key and its strings.
struct VersionTable {
    std::u16string key;  // "040904B0"
    std::vector<std::pair<std::u16string, std::u16string>> strings;
};

// A whole VS_VERSION_INFO: fixed block, string tables, translation list
// (language in the low 16 bits, code page in the high ones).
struct VersionSpec {
    std::array<std::uint16_t, 4> fixedVersion{1, 2, 0, 0};
    std::vector<VersionTable> tables;
    std::optional<std::vector<std::uint32_t>> translations;  // nullopt: no VarFileInfo
};

VersionBlock versionInfo(const VersionSpec& layout);
// One English (US, Unicode) table with this FileVersion.
VersionBlock versionInfo(const std::u16string& fileVersion);

// Where the builder puts things, for tests that damage them.
inline constexpr std::size_t kPeHeaderOffset = 0x40;
inline constexpr std::size_t kResourceFileOffset = 0x200;
inline constexpr std::uint32_t kResourceRva = 0x1000;

struct PeLayout {
    std::uint16_t machine = 0x014C;
    bool pe32Plus = false;  // the optional header of a 64-bit image
    bool resourceSection = true;
    // Version resources (RT_VERSION, ID 1) by language, in this order.
    std::vector<std::pair<std::uint16_t, std::vector<std::uint8_t>>> versions;
};

std::vector<std::uint8_t> buildPe(const PeLayout& layout);

// A program (i386) or library (x64) with a version resource naming `fileVersion`.
std::vector<std::uint8_t> buildProgram(const std::u16string& fileVersion);
std::vector<std::uint8_t> buildLibrary(const std::u16string& fileVersion);

}  // namespace cartscope::testing

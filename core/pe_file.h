// What a Windows program or library file (a PE image) says of itself: the
// machine it was built for and the version its version resource names.
//
// The reader takes any bytes: every offset and length is checked against the
// data before use, the resource tree is walked to its fixed depth of three
// without recursion, and nothing larger than the file itself or one version
// resource (at most 64 KiB) is ever allocated. A damaged resource counts as
// no version resource.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/byte_source.h"

namespace cartscope {

inline constexpr std::uint16_t kPeMachineI386 = 0x014C;
inline constexpr std::uint16_t kPeMachineAmd64 = 0x8664;
// The language a version is read for when none is asked: English (United States).
inline constexpr std::uint16_t kEnglishUs = 0x0409;

struct PeFileInfo {
    std::uint16_t machine = 0;  // the file header's machine type
    // Whether a version resource (RT_VERSION, ID 1) was found whole.
    bool hasVersionResource = false;
    // The four numbers of the fixed block (VS_FIXEDFILEINFO), when it is there.
    std::optional<std::array<std::uint16_t, 4>> fixedFileVersion;
    // The translation list (\VarFileInfo\Translation): the language in the low
    // 16 bits, the code page in the high 16 bits of each entry.
    std::vector<std::uint32_t> translations;
    // For each translation, the FileVersion string of its string table as the
    // system gives it: up to its stored length or its first zero; empty when
    // the table or the string is missing.
    std::vector<std::u16string> fileVersions;

    // The FileVersion text that a user of `userLanguage` is given: the string
    // of the translation findVersionTranslation chooses. Empty without a
    // translation list.
    std::u16string fileVersionText(std::uint16_t userLanguage = kEnglishUs) const;
};

// 32 for i386, 64 for x64, 0 for every other machine.
int peMachineBits(std::uint16_t machine);

// Reads the file's headers and its version resource. Where the resource is
// stored in several languages, the one the system loader picks for a user of
// `userLanguage` is read. Gives an empty string, or why the bytes are no PE
// file at all (a file without a version resource is a PE file: see
// PeFileInfo::hasVersionResource).
std::string readPeFile(ByteSource& source, PeFileInfo& info, std::uint16_t userLanguage = kEnglishUs);
// The same for a file on the disk.
std::string readPeFile(const std::u16string& path, PeFileInfo& info, std::uint16_t userLanguage = kEnglishUs);

// Which entry of a translation list serves a user of `userLanguage`: the
// user's language exactly, then its primary language, then neutral, then
// English; the first entry when none matches. -1 for an empty list.
int findVersionTranslation(const std::vector<std::uint32_t>& translations, std::uint16_t userLanguage);

// The four numbers of a version text as the updater reads them ("1.2.0.3",
// "1, 2, 0, 3"): each number after optional white space, one separator
// character between them; whatever follows the fourth is not looked at.
// nullopt unless all four are there, each of 0 to 65535.
std::optional<std::array<std::uint16_t, 4>> readVersionNumbers(std::u16string_view text);

// "a.b.c.d".
std::string versionNumbersText(const std::array<std::uint16_t, 4>& numbers);

}  // namespace cartscope

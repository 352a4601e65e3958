// A Nintendo DS ROM image as the rest of the system sees it.
#pragma once

#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "core/byte_source.h"
#include "core/rom_header.h"

namespace cartscope {

enum class RomLoadFlags : std::uint32_t {
    None = 0,
    ReadBanner = 0x01,          // read and check the banner
    CollectRenameNames = 0x02,  // fill renameNames (reads the banner)
    KeepShortTitles = 0x04,     // fill shortTitles (reads the banner)
    LookUpDatabase = 0x08,      // look the game code up in the release database
    ComputeCrc32 = 0x10,        // CRC-32 of the whole file
};

constexpr RomLoadFlags operator|(RomLoadFlags a, RomLoadFlags b) {
    return static_cast<RomLoadFlags>(static_cast<std::uint32_t>(a) | static_cast<std::uint32_t>(b));
}
constexpr bool hasAny(RomLoadFlags set, RomLoadFlags wanted) {
    return (static_cast<std::uint32_t>(set) & static_cast<std::uint32_t>(wanted)) != 0;
}

// Languages of the banner titles, in banner order.
enum BannerLanguage : int { Japanese, English, French, German, Italian, Spanish };
constexpr int kBannerLanguages = 6;

// The banner icon as 32 x 32 ARGB pixels, row by row from the top left.
constexpr int kIconSide = 32;
using IconPixels = std::array<std::uint32_t, kIconSide * kIconSide>;

struct RomInfo {
    static constexpr std::size_t kBannerSize = 0x840;
    static constexpr std::size_t kTitleUnits = 128;
    // Largest image the 32-bit sizes can describe: a 2 GiB card.
    static constexpr std::uint32_t kMaxUsedSize = 0x80000000u;

    std::u16string path;
    std::u16string folder;    // drive and folders, ending in a separator (or empty)
    std::u16string fileName;  // name with extension

    RomHeaderBytes header{};
    bool headerValid = false;
    std::uint32_t fileSize = 0;
    std::uint32_t usedSize = 0;
    std::uint32_t capacity = 0;
    std::uint32_t trimmedSize = 0;

    std::array<std::uint8_t, kBannerSize> banner{};
    bool bannerValid = false;
    std::uint32_t crc32 = 0;

    std::array<std::u16string, kBannerLanguages> shortTitles;
    std::set<std::u16string> renameNames;  // ordered by UTF-16 code unit

    std::u16string region = u"XXX";
    std::u16string publisher;
    std::u16string releaseNumber = u"XXXX";

    bool recordFound = false;
    std::u16string romCode;
    std::u16string name;
    std::u16string country;
    std::u16string genre;
    std::u16string languages;
    std::u16string wifi;
    std::u16string releaseGroup;
    std::u16string databaseCrc32;

    // Replaces the record with what `source` holds. Gives headerValid.
    bool load(ByteSource& source, RomLoadFlags flags, std::u16string_view renamePattern = {});
    // The same from a file path; a file that cannot be opened leaves the record empty.
    bool load(const std::u16string& filePath, RomLoadFlags flags, std::u16string_view renamePattern = {});

    // The file is shorter than the card.
    bool isTrimmed() const { return fileSize < capacity; }

    // The banner title of one language: up to the first NUL, at most 128 units.
    std::u16string bannerTitle(int language) const;
    // The banner icon; palette index 0 is transparent. Meaningful when bannerValid.
    IconPixels icon() const;

    // The fields of `header`.
    RomHeader headerFields() const { return RomHeader(header); }
};

// Decimal digits grouped in threes with "." from the right: 1234567 -> 1.234.567.
std::u16string formatThousands(std::uint64_t value);

// Smallest power of two not below `usedSize`, at least 1.
std::uint32_t cardCapacity(std::uint32_t usedSize);

}  // namespace cartscope

#include "core/rom_info.h"

#include <cstdlib>

#include "core/code_tables.h"
#include "core/crc.h"
#include "core/little_endian.h"
#include "core/platform/file.h"
#include "core/release_database.h"
#include "core/rename_pattern.h"
#include "core/text.h"

namespace cartscope {

namespace {

constexpr std::size_t kBannerCrcOffset = 0x002;
constexpr std::size_t kBannerCrcStart = 0x020;
constexpr std::size_t kIconBitmap = 0x020;
constexpr std::size_t kIconPalette = 0x220;
constexpr std::size_t kTitles = 0x240;
constexpr std::size_t kTitleSlot = 0x100;
constexpr std::size_t kCrcPiece = 256 * 1024;

// A 5-bit channel widened to 8 bits, its top bits repeated below.
std::uint32_t widenChannel(unsigned v) { return (v << 3) | (v >> 2); }

// Total used size of a DSi cartridge, 0 when the file is too short for it.
std::uint32_t readDsiUsedSize(ByteSource& source) {
    std::uint8_t bytes[4];
    if (!source.seek(rom_header::kDsiUsedSize) || !readFully(source, bytes, sizeof bytes)) return 0;
    return get32(bytes);
}

std::uint32_t fileCrc32(ByteSource& source) {
    if (!source.seek(0)) return 0;
    const platform::ReadBuffer piece(kCrcPiece);
    std::uint32_t crc = 0;
    for (;;) {
        const std::size_t got = source.read(piece.data(), piece.size());
        if (got == 0) break;
        crc = crc32(piece.data(), got, crc);
    }
    return crc;
}

// The database fields of a record from its release.
void copyRelease(const Release& release, RomInfo& rom) {
    namespace field = release_field;
    rom.romCode = widen(release.fields[field::kRomCode]);
    rom.name = widen(release.fields[field::kName]);
    rom.country = widen(release.fields[field::kCountry]);
    rom.genre = widen(release.fields[field::kGenre]);
    rom.publisher = widen(release.fields[field::kPublisher]);
    rom.languages =
        languageList(static_cast<std::uint32_t>(std::strtoul(release.fields[field::kLanguageMask].c_str(), nullptr, 10)));
    rom.wifi = widen(release.fields[field::kWifi]);
    rom.releaseNumber = widen(release.fields[field::kReleaseNumber]);
    rom.releaseGroup = widen(release.fields[field::kReleaseGroup]);
    rom.databaseCrc32 = widen(release.fields[field::kCrc32]);
    rom.recordFound = true;
}

// A record that knows only where its file is.
RomInfo emptyRecord(const std::u16string& path) {
    RomInfo rom;
    rom.path = path;
    std::size_t cut = path.size();
    while (cut > 0 && !platform::isPathSeparator(path[cut - 1])) --cut;
    rom.folder = path.substr(0, cut);
    rom.fileName = path.substr(cut);
    return rom;
}

}  // namespace

std::uint32_t cardCapacity(std::uint32_t usedSize) {
    std::uint32_t capacity = 1;
    while (capacity < usedSize && capacity < RomInfo::kMaxUsedSize) capacity <<= 1;
    return capacity;
}

bool RomInfo::load(ByteSource& source, RomLoadFlags flags, std::u16string_view renamePattern) {
    *this = emptyRecord(source.name());

    RomHeaderBytes bytes;
    if (!source.seek(0) || !readFully(source, bytes.data(), bytes.size())) return false;
    const RomHeader stored(bytes);
    if (!stored.checksumMatches()) return false;

    std::uint64_t length = 0;
    if (!source.seekEnd(length)) return false;
    std::uint32_t used = stored.usedSize();
    if (stored.hasDsiCode()) {
        // DSi code lies beyond the area that the DS header counts.
        const std::uint32_t dsiUsed = readDsiUsedSize(source);
        if (dsiUsed > used) used = dsiUsed;
    }
    // Beyond a 2 GiB card the 32-bit sizes overflow: not an image we can handle.
    if (length >= kMaxUsedSize || used > kMaxUsedSize) return false;

    header = bytes;
    headerValid = true;
    fileSize = static_cast<std::uint32_t>(length);
    usedSize = used;
    capacity = cardCapacity(usedSize);
    if (usedSize == 0) {
        usedSize = capacity;
        setUsedSize(header, usedSize);
    }
    const RomHeader fields = headerFields();

    const auto bannerFlags = RomLoadFlags::ReadBanner | RomLoadFlags::CollectRenameNames | RomLoadFlags::KeepShortTitles;
    const std::uint32_t bannerAt = fields.bannerOffset();
    if (hasAny(flags, bannerFlags) && bannerAt != 0 && source.seek(bannerAt) && readFully(source, banner.data(), banner.size())) {
        bannerValid = crc16(&banner[kBannerCrcStart], kBannerSize - kBannerCrcStart) == get16(&banner[kBannerCrcOffset]);
    }

    if (hasAny(flags, RomLoadFlags::ComputeCrc32)) crc32 = fileCrc32(source);

    if (const char16_t* name = regionName(fields.regionLetter())) region = name;
    const std::string maker = fields.makerCode();
    if (const char16_t* name = makerName(static_cast<std::uint8_t>(maker[0]), static_cast<std::uint8_t>(maker[1])))
        publisher = name;

    releaseNumber = u"XXXX";
    capacity = cardCapacity(usedSize);
    trimmedSize = usedSize + 512;

    // Without a database the titles are still wanted: a missing file ends
    // only the lookup.
    if (hasAny(flags, RomLoadFlags::LookUpDatabase)) {
        if (const auto release = lookUpRelease(fields.gameCode())) copyRelease(*release, *this);
    }
    if (hasAny(flags, RomLoadFlags::KeepShortTitles)) shortTitles = bannerShortTitles(*this);
    if (hasAny(flags, RomLoadFlags::CollectRenameNames)) renameNames = collectRenameNames(*this, renamePattern);
    return true;
}

bool RomInfo::load(const std::u16string& filePath, RomLoadFlags flags, std::u16string_view renamePattern) {
    FileSource source(filePath);
    if (!source.isOpen()) {
        *this = emptyRecord(filePath);
        return false;
    }
    return load(source, flags, renamePattern);
}

std::u16string RomInfo::bannerTitle(int language) const {
    if (language < 0 || language >= kBannerLanguages) return {};
    const std::uint8_t* slot = &banner[kTitles + static_cast<std::size_t>(language) * kTitleSlot];
    std::u16string title;
    for (std::size_t i = 0; i < kTitleUnits; ++i) {
        const char16_t unit = get16(slot + 2 * i);
        if (unit == 0) break;
        title += unit;
    }
    return title;
}

IconPixels RomInfo::icon() const {
    std::array<std::uint32_t, 16> palette{};
    for (unsigned i = 1; i < palette.size(); ++i) {
        const unsigned entry = get16(&banner[kIconPalette + 2 * i]);
        palette[i] = 0xFF000000u | widenChannel(entry & 0x1F) << 16 | widenChannel((entry >> 5) & 0x1F) << 8 |
                     widenChannel((entry >> 10) & 0x1F);
    }
    IconPixels pixels{};
    for (int y = 0; y < kIconSide; ++y) {
        for (int x = 0; x < kIconSide; ++x) {
            const int tile = (y / 8) * 4 + x / 8;
            const std::uint8_t byte = banner[kIconBitmap + tile * 32 + (y % 8) * 4 + (x % 8) / 2];
            const unsigned index = (x % 2 == 0) ? (byte & 0x0F) : (byte >> 4);
            pixels[y * kIconSide + x] = palette[index];
        }
    }
    return pixels;
}

std::u16string formatThousands(std::uint64_t value) {
    std::u16string digits;
    int inGroup = 0;
    do {
        if (inGroup == 3) {
            digits += u'.';
            inGroup = 0;
        }
        digits += static_cast<char16_t>(u'0' + value % 10);
        value /= 10;
        ++inGroup;
    } while (value != 0);
    return std::u16string(digits.rbegin(), digits.rend());
}

}  // namespace cartscope

#include "core/info_tip.h"

#include "core/text.h"

namespace cartscope {

std::u16string hex8(std::uint32_t value) {
    static const char16_t kDigits[] = u"0123456789ABCDEF";
    std::u16string text(8, u'0');
    for (int i = 7; i >= 0; --i, value >>= 4) text[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
    return text;
}

std::u16string formatInfoTip(const RomInfo& rom) {
    if (!rom.headerValid) return {};
    std::u16string tip;
    auto line = [&tip](std::u16string_view label, std::u16string_view value = {}) { tip.append(label).append(value) += u'\n'; };

    line(rom.fileName);
    if (rom.recordFound) {
        line(u"ROM-Code: ", rom.romCode);
        line(u"Name: ", rom.name);
        line(u"Genre: ", rom.genre);
        line(u"Publisher: ", rom.publisher);
        line(u"Maker-Code: ", widen(rom.headerFields().makerCode()));
        line(u"Country: ", rom.country);
        line(u"Region: ", rom.region);
        line(u"Language: ", rom.languages);
        line(u"WiFi: ", rom.wifi);
        line(u"");
    }
    line(u"ROM-Size: ", decimal(rom.capacity / 1048576) + u"MB (" + decimal(rom.capacity / 131072) + u"Mbit)");
    line(u"Trimmed: ", formatThousands(rom.trimmedSize / 1024) + u"KB");
    line(u"File-Size: ", formatThousands(rom.fileSize / 1024) + u"KB");

    const std::u16string fileCrc = hex8(rom.crc32);
    if (rom.databaseCrc32 == fileCrc) {
        line(u"CRC32: ", rom.databaseCrc32);
    } else {
        if (rom.recordFound && !rom.databaseCrc32.empty()) line(u"CRC32 (Database): ", rom.databaseCrc32);
        line(u"CRC32 (File): ", fileCrc);
    }
    line(u"");
    if (rom.recordFound) {
        line(u"Release-Nr.: ", rom.releaseNumber);
        line(u"Release-Group: ", rom.releaseGroup);
    }
    return tip;
}

}  // namespace cartscope

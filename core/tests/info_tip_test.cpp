#include <gtest/gtest.h>

#include "core/info_tip.h"
#include "core/tests/support/rom_builder.h"

using namespace cartscope;

namespace {

RomInfo unknownRom() {
    RomInfo rom;
    rom.headerValid = true;
    rom.fileName = u"Game (E).nds";
    rom.capacity = 67108864;  // 512 Mbit
    rom.usedSize = 0x3A1F2C0;
    rom.trimmedSize = rom.usedSize + 512;
    rom.fileSize = 67108864;
    rom.crc32 = 0x0BADF00D;
    return rom;
}

RomInfo knownRom() {
    RomInfo rom = unknownRom();
    cartscope::testing::RomSpec card;
    card.makerCode = "01";
    rom.header = cartscope::testing::buildHeader(card);
    rom.recordFound = true;
    rom.romCode = u"NTR-CSTE-USA";
    rom.name = u"Cartscope Test";
    rom.genre = u"Puzzle";
    rom.publisher = u"Velmora";
    rom.country = u"USA";
    rom.region = u"USA";
    rom.languages = u"eng,fre";
    rom.wifi = u"";
    rom.releaseNumber = u"0123";
    rom.releaseGroup = u"Group";
    return rom;
}

}  // namespace

TEST(InfoTip, UnknownRomHasSixLinesAndEndsWithABlankLine) {
    EXPECT_EQ(formatInfoTip(unknownRom()),
              u"Game (E).nds\n"
              u"ROM-Size: 64MB (512Mbit)\n"
              u"Trimmed: 59.517KB\n"
              u"File-Size: 65.536KB\n"
              u"CRC32 (File): 0BADF00D\n"
              u"\n");
}

TEST(InfoTip, KnownRomWithMatchingCrcShowsOneCrcLine) {
    RomInfo rom = knownRom();
    rom.databaseCrc32 = u"0BADF00D";
    EXPECT_EQ(formatInfoTip(rom),
              u"Game (E).nds\n"
              u"ROM-Code: NTR-CSTE-USA\n"
              u"Name: Cartscope Test\n"
              u"Genre: Puzzle\n"
              u"Publisher: Velmora\n"
              u"Maker-Code: 01\n"
              u"Country: USA\n"
              u"Region: USA\n"
              u"Language: eng,fre\n"
              u"WiFi: \n"
              u"\n"
              u"ROM-Size: 64MB (512Mbit)\n"
              u"Trimmed: 59.517KB\n"
              u"File-Size: 65.536KB\n"
              u"CRC32: 0BADF00D\n"
              u"\n"
              u"Release-Nr.: 0123\n"
              u"Release-Group: Group\n");
}

TEST(InfoTip, CrcTextsAreComparedExactly) {
    RomInfo rom = knownRom();
    rom.databaseCrc32 = u"0badf00d";  // lower case never matches
    std::u16string tip = formatInfoTip(rom);
    EXPECT_NE(tip.find(u"\nCRC32 (Database): 0badf00d\nCRC32 (File): 0BADF00D\n\nRelease-Nr.: "), std::u16string::npos);

    rom.databaseCrc32.clear();  // a record without a CRC field
    tip = formatInfoTip(rom);
    EXPECT_EQ(tip.find(u"CRC32 (Database)"), std::u16string::npos);
    EXPECT_NE(tip.find(u"\nCRC32 (File): 0BADF00D\n"), std::u16string::npos);
}

TEST(InfoTip, SizesRoundDown) {
    RomInfo rom = unknownRom();
    rom.fileSize = 1023;
    rom.trimmedSize = 513;
    rom.capacity = 1;
    rom.crc32 = 0;
    const std::u16string tip = formatInfoTip(rom);
    EXPECT_NE(tip.find(u"ROM-Size: 0MB (0Mbit)\nTrimmed: 0KB\nFile-Size: 0KB\nCRC32 (File): 00000000\n"), std::u16string::npos);
}

TEST(InfoTip, NoTipWithoutAValidHeader) {
    RomInfo rom = unknownRom();
    rom.headerValid = false;
    EXPECT_EQ(formatInfoTip(rom), u"");
}

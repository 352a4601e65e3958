#include <gtest/gtest.h>

#include <algorithm>

#include "core/crc.h"
#include "core/tests/support/rom_builder.h"
#include "core/rom_info.h"
#include "core/tests/support/temp_dir.h"

using namespace cartscope;
using cartscope::testing::buildRom;
using cartscope::testing::RomSpec;
using cartscope::testing::TempDir;

namespace {

// An image in memory that hands out at most `piece` bytes a read, as a stream may.
class ChunkedSource : public ByteSource {
public:
    ChunkedSource(std::vector<std::uint8_t> bytes, std::size_t piece) : bytes_(std::move(bytes)), piece_(piece) {}
    const std::u16string& name() const override { return name_; }
    bool seek(std::uint64_t offset) override {
        position_ = offset;
        return true;
    }
    bool seekEnd(std::uint64_t& size) override {
        size = position_ = bytes_.size();
        return true;
    }
    std::size_t read(void* buffer, std::size_t count) override {
        if (position_ >= bytes_.size()) return 0;
        const std::size_t n = std::min({count, piece_, static_cast<std::size_t>(bytes_.size() - position_)});
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(position_), n, static_cast<std::uint8_t*>(buffer));
        position_ += n;
        return n;
    }

private:
    std::u16string name_ = u"stream/Game.nds";
    std::vector<std::uint8_t> bytes_;
    std::size_t piece_;
    std::uint64_t position_ = 0;
};

class RomInfoTest : public ::testing::Test {
protected:
    std::u16string write(const RomSpec& card, const std::string& name = "rom.nds") {
        const auto path = dir.file(name);
        cartscope::testing::writeFile(path, buildRom(card));
        return path;
    }
    RomInfo load(const RomSpec& card, RomLoadFlags flags = RomLoadFlags::ReadBanner) {
        RomInfo rom;
        rom.load(write(card), flags);
        return rom;
    }
    TempDir dir;
};

RomSpec smallRom(std::uint32_t usedSize, std::uint64_t fileSize = 0x2000) {
    RomSpec card;
    card.usedSize = usedSize;
    card.fileSize = fileSize;
    return card;
}

}  // namespace

TEST_F(RomInfoTest, ReadsHeaderSizesAndCodeTables) {
    RomSpec card;
    card.gameCode = "CSTP";
    card.makerCode = "01";
    card.usedSize = 0x5A00;
    const auto path = write(card, "Game (E).nds");
    RomInfo rom;
    ASSERT_TRUE(rom.load(path, RomLoadFlags::ReadBanner));
    EXPECT_TRUE(rom.headerValid);
    EXPECT_TRUE(rom.bannerValid);
    EXPECT_EQ(rom.path, path);
    EXPECT_EQ(rom.fileName, u"Game (E).nds");
    EXPECT_EQ(rom.folder + rom.fileName, path);
    EXPECT_EQ(rom.usedSize, 0x5A00u);
    EXPECT_EQ(rom.capacity, 0x8000u);
    EXPECT_EQ(rom.trimmedSize, 0x5A00u + 512);
    EXPECT_EQ(rom.fileSize, 0x8000u);
    EXPECT_FALSE(rom.isTrimmed());
    EXPECT_EQ(rom.region, u"EUR");
    EXPECT_EQ(rom.publisher, u"Nintendo");
    EXPECT_EQ(rom.releaseNumber, u"XXXX");
    EXPECT_EQ(rom.crc32, 0u) << "computed only when asked for";
    EXPECT_FALSE(rom.recordFound);
}

TEST_F(RomInfoTest, UnknownRegionAndMakerKeepDefaults) {
    RomSpec card;
    card.gameCode = "CSTU";
    card.makerCode = "0a";
    const RomInfo rom = load(card);
    EXPECT_EQ(rom.region, u"XXX");
    EXPECT_EQ(rom.publisher, u"");
}

TEST_F(RomInfoTest, NotARomLeavesEverythingEmpty) {
    RomSpec card;
    card.badHeaderCrc = true;  // the banner is intact
    const RomInfo broken = load(card, RomLoadFlags::ReadBanner | RomLoadFlags::ComputeCrc32);
    EXPECT_FALSE(broken.headerValid);
    EXPECT_FALSE(broken.bannerValid);
    EXPECT_EQ(broken.fileSize, 0u);
    EXPECT_EQ(broken.usedSize, 0u);
    EXPECT_EQ(broken.capacity, 0u);
    EXPECT_EQ(broken.crc32, 0u);
    EXPECT_EQ(broken.region, u"XXX");
    EXPECT_EQ(broken.header, RomInfo{}.header);

    // Shorter than a header, empty, missing, a folder.
    auto bytes = buildRom(RomSpec{});
    bytes.resize(511);
    cartscope::testing::writeFile(dir.file("short.nds"), bytes);
    cartscope::testing::writeFile(dir.file("empty.nds"), {});
    for (const char* name : {"short.nds", "empty.nds", "missing.nds", ""}) {
        RomInfo rom;
        EXPECT_FALSE(rom.load(dir.file(name), RomLoadFlags::ReadBanner)) << name;
        EXPECT_FALSE(rom.headerValid);
    }
    RomInfo missing;
    missing.load(dir.file("missing.nds"), RomLoadFlags::None);
    EXPECT_EQ(missing.fileName, u"missing.nds");
}

TEST_F(RomInfoTest, CapacityAtPowerOfTwoEdges) {
    struct Case {
        std::uint32_t used, capacity;
    };
    for (const Case c : {Case{0, 1}, Case{1, 1}, Case{2, 2}, Case{3, 4}, Case{0x01000000, 0x01000000},
                         Case{0x01000001, 0x02000000}, Case{0x7FFFFFFF, 0x80000000}, Case{0x80000000, 0x80000000}}) {
        const RomInfo rom = load(smallRom(c.used));
        ASSERT_TRUE(rom.headerValid) << c.used;
        EXPECT_EQ(rom.capacity, c.capacity) << c.used;
        EXPECT_EQ(rom.trimmedSize, (c.used == 0 ? 1u : c.used) + 512) << c.used;
    }
    // A used size of 0 counts as 1, in the header copy too.
    const RomInfo zero = load(smallRom(0));
    EXPECT_EQ(zero.usedSize, 1u);
    EXPECT_EQ(zero.trimmedSize, 513u);
    EXPECT_EQ(zero.header[0x080], 1);
}

TEST_F(RomInfoTest, TrimmedMeansShorterThanTheCard) {
    EXPECT_FALSE(load(smallRom(0x3000, 0x4000)).isTrimmed());
    EXPECT_TRUE(load(smallRom(0x3000, 0x3FFF)).isTrimmed());
    EXPECT_FALSE(load(smallRom(0x3000, 0x4001)).isTrimmed());
}

TEST_F(RomInfoTest, RefusesSizesBeyondTwoGigabytes) {
    // The card size would not fit 32 bits.
    EXPECT_FALSE(load(smallRom(0x80000001)).headerValid);
    EXPECT_FALSE(load(smallRom(0xFFFFFFFF)).headerValid);
    // A file of 2 GiB (sparse, so it costs no disk).
    const auto path = write(smallRom(0x1000));
    platform::File file;
    ASSERT_EQ(file.open(path, platform::File::Mode::ReadWrite), 0);
    ASSERT_EQ(file.resize(0x80000000ull), 0);
    file.close();
    RomInfo rom;
    EXPECT_FALSE(rom.load(path, RomLoadFlags::ReadBanner));
    ASSERT_EQ(file.open(path, platform::File::Mode::ReadWrite), 0);
    ASSERT_EQ(file.resize(0x7FFFFFFFull), 0);
    file.close();
    EXPECT_TRUE(rom.load(path, RomLoadFlags::ReadBanner));
    EXPECT_EQ(rom.fileSize, 0x7FFFFFFFu);
}

TEST_F(RomInfoTest, DsiCartridgesCountTheirDsiArea) {
    RomSpec dsi = smallRom(0x3000, 0x9000);
    dsi.unitCode = 0x02;
    dsi.dsiUsedSize = 0x9000;
    RomInfo rom = load(dsi);
    EXPECT_EQ(rom.usedSize, 0x9000u);
    EXPECT_EQ(rom.capacity, 0x10000u);
    EXPECT_EQ(rom.trimmedSize, 0x9200u);

    dsi.unitCode = 0x03;  // DSi-only
    EXPECT_EQ(load(dsi).usedSize, 0x9000u);

    // A smaller DSi figure never shrinks the DS one.
    dsi.dsiUsedSize = 0x1000;
    EXPECT_EQ(load(dsi).usedSize, 0x3000u);

    // Plain DS cartridges often hold code at 0x210: it is not a size.
    RomSpec ds = smallRom(0x3000, 0x9000);
    ds.dsiUsedSize = 0x9000;
    EXPECT_EQ(load(ds).usedSize, 0x3000u);

    // Too short to hold the DSi field.
    RomSpec tiny = smallRom(0x100, 0x200);
    tiny.unitCode = 0x02;
    tiny.bannerOffset = 0;
    rom = load(tiny);
    EXPECT_TRUE(rom.headerValid);
    EXPECT_EQ(rom.usedSize, 0x100u);

    // The DSi figure is held to the same 2 GiB limit.
    dsi.dsiUsedSize = 0x90000000u;
    EXPECT_FALSE(load(dsi).headerValid);
}

TEST_F(RomInfoTest, BannerIsCheckedAndReadOnlyWhenAsked) {
    RomSpec card;
    EXPECT_FALSE(load(card, RomLoadFlags::None).bannerValid);
    EXPECT_FALSE(load(card, RomLoadFlags::ComputeCrc32 | RomLoadFlags::LookUpDatabase).bannerValid);
    for (auto flags : {RomLoadFlags::ReadBanner, RomLoadFlags::CollectRenameNames, RomLoadFlags::KeepShortTitles})
        EXPECT_TRUE(load(card, flags).bannerValid);

    card.badBannerCrc = true;
    RomInfo rom = load(card);
    EXPECT_TRUE(rom.headerValid);
    EXPECT_FALSE(rom.bannerValid);

    RomSpec none;
    none.bannerOffset = 0;
    EXPECT_FALSE(load(none).bannerValid);

    // A banner that runs past the end of the file.
    RomSpec cut = smallRom(0x3000, 0x1800);
    cut.bannerOffset = 0x1000;
    rom = load(cut);
    EXPECT_TRUE(rom.headerValid);
    EXPECT_FALSE(rom.bannerValid);
}

// The title steps of a load: short titles and rename names each only when asked for.
TEST_F(RomInfoTest, EachFlagDoesOnlyItsOwnPart) {
    RomSpec card;
    card.titles = {u"J", u"Mario\nNintendo", u"F", u"D", u"I", u"S"};
    const std::u16string path = write(card);
    const auto loadWith = [&](RomLoadFlags flags) {
        RomInfo rom;
        EXPECT_TRUE(rom.load(path, flags, u"%T"));
        return rom;
    };

    const RomInfo namesOnly = loadWith(RomLoadFlags::CollectRenameNames);
    EXPECT_EQ(namesOnly.renameNames.size(), 7u);
    for (const auto& title : namesOnly.shortTitles) EXPECT_EQ(title, u"");

    const RomInfo both = loadWith(RomLoadFlags::CollectRenameNames | RomLoadFlags::KeepShortTitles);
    EXPECT_EQ(both.renameNames, namesOnly.renameNames);
    EXPECT_EQ(both.shortTitles[English], u"Mario");
    EXPECT_EQ(both.shortTitles[Spanish], u"S");

    // Other flags do not start the steps.
    const RomInfo neither = loadWith(RomLoadFlags::ReadBanner | RomLoadFlags::LookUpDatabase | RomLoadFlags::ComputeCrc32);
    EXPECT_TRUE(neither.renameNames.empty());
    EXPECT_EQ(neither.shortTitles[English], u"");
}

TEST_F(RomInfoTest, TitlesStopAtNulOrAtTheirSlot) {
    RomSpec card;
    card.titles[Japanese] = u"ゲーム\nメーカー";
    card.titles[English] = std::u16string(128, u'E');  // fills the slot: no NUL
    card.titles[French] = u"Jeu";
    const RomInfo rom = load(card);
    EXPECT_EQ(rom.bannerTitle(Japanese), u"ゲーム\nメーカー");
    EXPECT_EQ(rom.bannerTitle(English), std::u16string(128, u'E'));
    EXPECT_EQ(rom.bannerTitle(French), u"Jeu");
    EXPECT_EQ(rom.bannerTitle(Spanish), u"");
    EXPECT_EQ(rom.bannerTitle(6), u"");
    EXPECT_EQ(rom.bannerTitle(-1), u"");
}

TEST_F(RomInfoTest, IconFollowsTileLayoutAndPalette) {
    RomSpec card;
    card.palette[0] = cartscope::testing::rgb15(31, 0, 0);  // pure red, yet transparent
    card.palette[1] = cartscope::testing::rgb15(31, 31, 31);
    card.palette[2] = cartscope::testing::rgb15(16, 0, 1);
    card.palette[3] = cartscope::testing::rgb15(0, 31, 0) | 0x8000;  // bit 15 is ignored
    card.icon[0] = 1;                                                // (0, 0)
    card.icon[1] = 2;                                                // (1, 0)
    card.icon[8] = 3;                                                // (8, 0): first pixel of the second tile
    card.icon[8 * 32] = 2;                                           // (0, 8): first pixel of the fifth tile
    card.icon[31 * 32 + 31] = 1;                                     // bottom right
    const auto bytes = buildRom(card);
    // Byte 0 of the bitmap holds pixel (0, 0) low and (1, 0) high; byte 32 starts tile 1.
    EXPECT_EQ(bytes[0x1000 + 0x20], 0x21);
    EXPECT_EQ(bytes[0x1000 + 0x20 + 32], 0x03);
    EXPECT_EQ(bytes[0x1000 + 0x20 + 4 * 32], 0x02);

    const IconPixels icon = load(card).icon();
    EXPECT_EQ(icon[0], 0xFFFFFFFFu);
    EXPECT_EQ(icon[1], 0xFF840008u);  // 16 -> 132, 1 -> 8
    EXPECT_EQ(icon[8], 0xFF00FF00u);
    EXPECT_EQ(icon[8 * 32], 0xFF840008u);
    EXPECT_EQ(icon[31 * 32 + 31], 0xFFFFFFFFu);
    EXPECT_EQ(icon[2], 0x00000000u);  // index 0
    EXPECT_EQ(std::count(icon.begin(), icon.end(), 0u), 1024 - 5);
}

TEST_F(RomInfoTest, Crc32CoversTheWholeFile) {
    // Shorter than one read, and longer than two, neither a multiple of the read size.
    for (const std::uint64_t size : {0x6123, 0x80123}) {
        RomSpec card = smallRom(0x5000, size);
        const auto bytes = buildRom(card);
        const RomInfo rom = load(card, RomLoadFlags::ComputeCrc32);
        EXPECT_EQ(rom.crc32, crc32(bytes.data(), bytes.size())) << size;
    }
}

TEST(RomInfoSource, ShortReadsFromAStreamStillLoad) {
    RomSpec card;
    card.titles[English] = u"Streamed";
    const auto bytes = buildRom(card);
    ChunkedSource source(bytes, 100);
    RomInfo rom;
    ASSERT_TRUE(rom.load(source, RomLoadFlags::ReadBanner | RomLoadFlags::ComputeCrc32));
    EXPECT_TRUE(rom.bannerValid);
    EXPECT_EQ(rom.bannerTitle(English), u"Streamed");
    EXPECT_EQ(rom.crc32, crc32(bytes.data(), bytes.size()));
    EXPECT_EQ(rom.folder, u"stream/");
    EXPECT_EQ(rom.fileName, u"Game.nds");
}

TEST(FormatThousands, GroupsOfThreeFromTheRight) {
    EXPECT_EQ(formatThousands(0), u"0");
    EXPECT_EQ(formatThousands(12), u"12");
    EXPECT_EQ(formatThousands(999), u"999");
    EXPECT_EQ(formatThousands(1000), u"1.000");
    EXPECT_EQ(formatThousands(1234), u"1.234");
    EXPECT_EQ(formatThousands(131072), u"131.072");
    EXPECT_EQ(formatThousands(1000500), u"1.000.500");
    EXPECT_EQ(formatThousands(1002003), u"1.002.003");
    EXPECT_EQ(formatThousands(2000000), u"2.000.000");
    EXPECT_EQ(formatThousands(4294967295u), u"4.294.967.295");
}

#include "core/tests/support/rom_builder.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>

#include "core/crc.h"
#include "core/little_endian.h"

namespace cartscope::testing {

namespace {

void putText(std::vector<std::uint8_t>& b, std::size_t at, const std::string& text, std::size_t width) {
    for (std::size_t i = 0; i < width && i < text.size(); ++i) b[at + i] = static_cast<std::uint8_t>(text[i]);
}

// Program bytes that look like code: never a run of one value.
std::uint8_t codeByte(std::size_t offset) { return static_cast<std::uint8_t>((offset * 131 + 7) ^ (offset >> 9)); }

}  // namespace

std::uint64_t capacityOf(std::uint32_t size) {
    std::uint64_t capacity = 1;
    while (capacity < size) capacity <<= 1;
    return capacity;
}

std::vector<std::uint8_t> buildRom(const RomSpec& card) {
    const std::uint32_t used = std::max(card.usedSize, card.dsiUsedSize.value_or(0));
    const std::uint64_t length = card.fileSize.value_or(capacityOf(used));
    // Lay out enough for header and banner, then cut to the file length.
    std::vector<std::uint8_t> rom(std::max<std::uint64_t>({length, 0x1000u, card.bannerOffset + 0x840ull}));
    for (std::size_t i = 0x200; i < rom.size(); ++i) rom[i] = i < used ? codeByte(i) : card.padding;

    std::fill(rom.begin(), rom.begin() + 0x200, std::uint8_t{0});
    putText(rom, 0x000, card.internalTitle, 12);
    putText(rom, 0x00C, card.gameCode, 4);
    putText(rom, 0x010, card.makerCode, 2);
    rom[0x012] = card.unitCode;
    put32(&rom[0x068], card.bannerOffset);
    put32(&rom[0x080], card.usedSize);
    put32(&rom[0x084], 0x4000);  // header size, as real cards have it
    if (card.dsiUsedSize) put32(&rom[0x210], *card.dsiUsedSize);

    if (card.bannerOffset != 0) {
        const std::size_t b = card.bannerOffset;
        std::fill(rom.begin() + static_cast<std::ptrdiff_t>(b), rom.begin() + static_cast<std::ptrdiff_t>(b + 0x840),
                  std::uint8_t{0});
        put16(&rom[b], 0x0001);
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) {
                const std::size_t tile = static_cast<std::size_t>((y / 8) * 4 + x / 8);
                const std::size_t at = b + 0x20 + tile * 32 + static_cast<std::size_t>((y % 8) * 4 + (x % 8) / 2);
                const std::uint8_t index = card.icon[static_cast<std::size_t>(y * 32 + x)] & 0x0F;
                rom[at] = static_cast<std::uint8_t>(x % 2 == 0 ? (rom[at] & 0xF0) | index : (rom[at] & 0x0F) | index << 4);
            }
        }
        for (std::size_t i = 0; i < 16; ++i) put16(&rom[b + 0x220 + 2 * i], card.palette[i]);
        for (std::size_t lang = 0; lang < 6; ++lang) {
            const std::u16string& title = card.titles[lang];
            for (std::size_t i = 0; i < title.size() && i < 128; ++i) put16(&rom[b + 0x240 + lang * 0x100 + 2 * i], title[i]);
        }
        std::uint16_t crc = crc16(&rom[b + 0x20], 0x820);
        if (card.badBannerCrc) crc ^= 0x5A5A;
        put16(&rom[b + 2], crc);
    }

    std::uint16_t crc = crc16(rom.data(), 0x15E);
    if (card.badHeaderCrc) crc ^= 0xA5A5;
    put16(&rom[0x15E], crc);

    rom.resize(static_cast<std::size_t>(length));
    return rom;
}

std::array<std::uint8_t, 512> buildHeader(const RomSpec& card) {
    const std::vector<std::uint8_t> rom = buildRom(card);
    std::array<std::uint8_t, 512> header{};
    std::copy_n(rom.begin(), std::min(rom.size(), header.size()), header.begin());
    return header;
}

void writeFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::vector<std::uint8_t> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace cartscope::testing

// Builds Nintendo DS ROM images for tests, benchmarks, fuzzer seeds and the
// bundled samples: header fields, banner with titles, icon and palette, sizes,
// and broken checksums on request.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace cartscope::testing {

struct RomSpec {
    std::string internalTitle = "CARTSCOPE";   // 12 bytes at 0x000
    std::string gameCode = "CSTE";             // 4 bytes at 0x00C
    std::string makerCode = "00";              // 2 bytes at 0x010
    std::uint8_t unitCode = 0;                 // 0x012; bit 1: DSi code present
    std::uint32_t usedSize = 0x8000;           // 0x080
    std::optional<std::uint32_t> dsiUsedSize;  // 0x210, written when set
    std::optional<std::uint64_t> fileSize;     // default: the card capacity
    std::uint32_t bannerOffset = 0x1000;       // 0: no banner
    std::array<std::u16string, 6> titles;      // Japanese, English, French, German, Italian, Spanish
    std::array<std::uint8_t, 32 * 32> icon{};  // palette indices, row by row
    std::array<std::uint16_t, 16> palette{};   // 15-bit colours
    std::uint8_t padding = 0xFF;               // what follows the used area
    bool badHeaderCrc = false;
    bool badBannerCrc = false;
};

// A 15-bit colour from 5-bit channels.
constexpr std::uint16_t rgb15(unsigned r, unsigned g, unsigned b) {
    return static_cast<std::uint16_t>((r & 31) | (g & 31) << 5 | (b & 31) << 10);
}

// The smallest power of two not below `size`.
std::uint64_t capacityOf(std::uint32_t size);

std::vector<std::uint8_t> buildRom(const RomSpec& card);
// The first 512 bytes of that image: its header alone.
std::array<std::uint8_t, 512> buildHeader(const RomSpec& card);

void writeFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> readFile(const std::filesystem::path& path);

}  // namespace cartscope::testing

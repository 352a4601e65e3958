// The DS cartridge header: the first 512 bytes of every ROM image. The fields
// that Cartscope reads are named here; nothing else knows their offsets.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace cartscope {

inline constexpr std::size_t kRomHeaderSize = 512;
using RomHeaderBytes = std::array<std::uint8_t, kRomHeaderSize>;

// Where the fields lie; numbers are little-endian.
namespace rom_header {
inline constexpr std::size_t kGameCode = 0x00C;  // 4 bytes; the last is the region letter
inline constexpr std::size_t kRegionLetter = 0x00F;
inline constexpr std::size_t kMakerCode = 0x010;  // 2 bytes
inline constexpr std::size_t kUnitCode = 0x012;
inline constexpr std::size_t kBannerOffset = 0x068;  // 32 bits
inline constexpr std::size_t kUsedSize = 0x080;      // 32 bits
inline constexpr std::size_t kChecksum = 0x15E;      // CRC-16 of the bytes before it
// DSi cartridges carry a longer header: their total used size (32 bits) lies
// beyond the 512 bytes, at this offset of the file.
inline constexpr std::size_t kDsiUsedSize = 0x210;
}  // namespace rom_header

// Unit-code bit of cartridges that carry DSi code.
inline constexpr std::uint8_t kUnitDsi = 0x02;

// The fields of header bytes that the caller keeps.
class RomHeader {
public:
    explicit RomHeader(const RomHeaderBytes& bytes) : bytes_(&bytes) {}

    // The game code as stored ("CSTE").
    std::string gameCode() const;
    // The game code's last character, which tells the region ('E', 'P', ...).
    std::uint8_t regionLetter() const { return (*bytes_)[rom_header::kRegionLetter]; }
    // The maker code as stored ("01").
    std::string makerCode() const;
    std::uint8_t unitCode() const { return (*bytes_)[rom_header::kUnitCode]; }
    bool hasDsiCode() const { return (unitCode() & kUnitDsi) != 0; }
    // Where the banner starts in the file; 0 when there is none.
    std::uint32_t bannerOffset() const;
    // How much of the card the DS part uses (bytes).
    std::uint32_t usedSize() const;
    // Whether the stored CRC-16 matches the bytes before it.
    bool checksumMatches() const;

private:
    const RomHeaderBytes* bytes_;
};

// Stores a used size in header bytes.
void setUsedSize(RomHeaderBytes& bytes, std::uint32_t size);

}  // namespace cartscope

// Checksums of ROM images.
#pragma once

#include <cstddef>
#include <cstdint>

namespace cartscope {

// CRC-16 of header and banner: reflected, polynomial 0xA001, start 0xFFFF,
// no final XOR.
std::uint16_t crc16(const void* data, std::size_t size, std::uint16_t crc = 0xFFFF);

// The standard CRC-32 (reflected 0xEDB88320, start and final XOR 0xFFFFFFFF).
// `crc` is the value of the data before, so a file may be fed in pieces:
// crc32(b, nb, crc32(a, na)) == crc32(ab).
std::uint32_t crc32(const void* data, std::size_t size, std::uint32_t crc = 0);

}  // namespace cartscope

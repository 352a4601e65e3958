// A reader of the PNGs the command line writes, written on zlib alone so that
// it shares nothing with the writer: every chunk's CRC, the chunks' order, the
// zlib stream (inflated whole, its Adler-32 checked) and every pixel. Used by
// the tests and the PNG writer's fuzzer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace cartscope::testing {

struct DecodedPng {
    unsigned width = 0, height = 0;
    int depth = 0, colourType = 0;
    std::size_t compressed = 0;         // the bytes of all IDAT chunks
    std::vector<std::uint8_t> rows;     // inflated: each row's filter byte, then its pixels
    std::vector<std::uint32_t> pixels;  // ARGB, row by row
};

// Reads `png` (not interlaced, rows without filter, 4-bit palette or 8-bit
// RGBA, as the writer makes them) into `picture`. Gives an empty string, or
// the first fault found in the file.
std::string readPng(const std::vector<std::uint8_t>& png, DecodedPng& picture);

}  // namespace cartscope::testing

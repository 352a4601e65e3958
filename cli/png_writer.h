#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/rom_info.h"

namespace cartscope::cli {

// The icon as the bytes of a PNG of size x size pixels, scaled by nearest
// neighbour: with a palette of its colours and their transparency when it has
// at most 16 (as a banner icon has), else RGBA. Gives an empty string or the
// reason of the failure.
std::string encodeIconPng(const IconPixels& icon, int size, std::vector<std::uint8_t>& png);

// The bit length of each symbol's code in a Huffman code for symbols used
// `counts` times (0: no code), none longer than `limit` bits; `counts` has at
// least two symbols and at most 2^limit, and limit is at most 15. At least
// two symbols get a code, so that the code is complete, as every decoder
// takes it: unused ones are added when fewer are used. The writer's own
// codes are made with it.
std::vector<std::uint8_t> huffmanLengths(std::vector<std::uint32_t> counts, int limit);

}  // namespace cartscope::cli

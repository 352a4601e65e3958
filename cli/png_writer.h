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

}  // namespace cartscope::cli

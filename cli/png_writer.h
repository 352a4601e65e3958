#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/rom_info.h"

namespace cartscope::cli {

// The icon as the bytes of an RGBA PNG of size x size pixels, scaled by
// nearest neighbour. Gives an empty string or the reason of the failure.
std::string encodeIconPng(const IconPixels& icon, int size, std::vector<std::uint8_t>& png);

}  // namespace cartscope::cli

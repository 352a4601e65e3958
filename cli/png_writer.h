#pragma once

#include <string>

#include "rom_info.h"

namespace cartscope::cli {

// Writes the icon as an RGBA PNG of size x size pixels, scaled by nearest
// neighbour. Gives an empty string or the reason of the failure.
std::string writeIconPng(const IconPixels& icon, int size, const std::string& path);

}  // namespace cartscope::cli

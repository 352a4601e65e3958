// What the picture tests share: the icon they put in a ROM and a reader for
// the PNG files the program writes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/tests/support/rom_builder.h"

namespace cartscope::testing {

// An RGBA PNG read back as ARGB pixels; empty when it is not a PNG.
std::vector<std::uint32_t> readPng(const std::string& path, unsigned& width, unsigned& height);

// An icon with transparent pixels (palette index 0) and two colours, none of
// its neighbours alike, so that every sampling mistake shows.
RomSpec iconRom();

}  // namespace cartscope::testing

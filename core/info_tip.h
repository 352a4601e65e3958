// The text that the Explorer shows when the pointer rests on a ROM file.
#pragma once

#include <string>

#include "core/rom_info.h"

namespace cartscope {

// The info tip of a ROM loaded with LookUpDatabase | ComputeCrc32; every line
// ends with a line feed. Empty when the header is not valid.
std::u16string formatInfoTip(const RomInfo& rom);

// Eight upper-case hexadecimal digits.
std::u16string hex8(std::uint32_t value);

}  // namespace cartscope

// Identifiers of the Cartscope shell extension.
#pragma once

#include <windows.h>

// The class identifiers as text (kClsidText, kClsidSecondText).
#include "shellext/registry_table.h"

namespace cartscope::shell {

// The served class; also the format ID of the library's own properties.
// {5E7A3C21-B94D-4F18-9C2E-71D0A6B3F4C5}
inline constexpr CLSID kClsidFileIconExt = {0x5E7A3C21, 0xB94D, 0x4F18, {0x9C, 0x2E, 0x71, 0xD0, 0xA6, 0xB3, 0xF4, 0xC5}};
// Registered like the first, served by nobody.
// {5E7A3C22-B94D-4F18-9C2E-71D0A6B3F4C5}
inline constexpr CLSID kClsidSecond = {0x5E7A3C22, 0xB94D, 0x4F18, {0x9C, 0x2E, 0x71, 0xD0, 0xA6, 0xB3, 0xF4, 0xC5}};
// The type library {8B2F6D40-3C17-4E95-A6D2-0F4C9B71E358}, version 1.0.
inline constexpr GUID kTypeLibId = {0x8B2F6D40, 0x3C17, 0x4E95, {0xA6, 0xD2, 0x0F, 0x4C, 0x9B, 0x71, 0xE3, 0x58}};
// IFileIconExt, described by the type library, not answered by the class.
// {C7D14E92-6A38-4B0F-9E57-2D81F3A6B0C4}
inline constexpr IID kIidFileIconExt = {0xC7D14E92, 0x6A38, 0x4B0F, {0x9E, 0x57, 0x2D, 0x81, 0xF3, 0xA6, 0xB0, 0xC4}};

}  // namespace cartscope::shell

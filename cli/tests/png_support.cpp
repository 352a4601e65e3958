#include "cli/tests/png_support.h"

#include <cstddef>

#include <png.h>

namespace cartscope::testing {

std::vector<std::uint32_t> readPng(const std::string& path, unsigned& width, unsigned& height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
    image.format = PNG_FORMAT_BGRA;  // little-endian ARGB words
    std::vector<std::uint32_t> pixels(image.width * image.height);
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return {};
    width = image.width;
    height = image.height;
    return pixels;
}

RomSpec iconRom() {
    RomSpec card;
    card.palette[0] = rgb15(31, 0, 0);
    card.palette[5] = rgb15(0, 0, 31);
    card.palette[9] = rgb15(16, 31, 0);
    for (int i = 0; i < 32 * 32; ++i) card.icon[static_cast<std::size_t>(i)] = (i % 7 == 0) ? 5 : (i % 5 == 0 ? 9 : 0);
    return card;
}

}  // namespace cartscope::testing

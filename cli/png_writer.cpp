#include "cli/png_writer.h"

#include <new>
#include <vector>

#include <png.h>

namespace cartscope::cli {

namespace {

struct PngWrite {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngWrite() { png_destroy_write_struct(&png, &info); }
};

// libpng's output: appended to the vector.
void appendBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    bool failed = false;
    try {
        out->insert(out->end(), data, data + length);
    } catch (const std::bad_alloc&) {
        failed = true;
    }
    if (failed) png_error(png, "out of memory");
}

void flushNothing(png_structp) {}

}  // namespace

std::string encodeIconPng(const IconPixels& icon, int size, std::vector<std::uint8_t>& png) {
    png.clear();
    std::vector<png_byte> rgba(static_cast<std::size_t>(size) * static_cast<std::size_t>(size) * 4);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const std::uint32_t argb = icon[static_cast<std::size_t>((y * kIconSide / size) * kIconSide + x * kIconSide / size)];
            png_byte* p = &rgba[(static_cast<std::size_t>(y) * static_cast<std::size_t>(size) + static_cast<std::size_t>(x)) * 4];
            p[0] = static_cast<png_byte>(argb >> 16);
            p[1] = static_cast<png_byte>(argb >> 8);
            p[2] = static_cast<png_byte>(argb);
            p[3] = static_cast<png_byte>(argb >> 24);
        }
    }

    PngWrite w;
    w.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!w.png) return "out of memory";
    w.info = png_create_info_struct(w.png);
    if (!w.info) return "out of memory";
    if (setjmp(png_jmpbuf(w.png))) return "cannot write the PNG data";

    png_set_write_fn(w.png, &png, appendBytes, flushNothing);
    png_set_IHDR(w.png, w.info, static_cast<png_uint_32>(size), static_cast<png_uint_32>(size), 8, PNG_COLOR_TYPE_RGBA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(w.png, w.info);
    for (int y = 0; y < size; ++y) png_write_row(w.png, &rgba[static_cast<std::size_t>(y) * static_cast<std::size_t>(size) * 4]);
    png_write_end(w.png, nullptr);
    return {};
}

}  // namespace cartscope::cli

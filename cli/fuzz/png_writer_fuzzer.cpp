// libFuzzer target: the PNG writer. The input picks the picture's size, its
// colours and where each goes in the icon; the picture must read back (every
// CRC, the zlib stream and its Adler-32, with the reader of the tests) with
// every pixel the icon's, scaled by nearest neighbour.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/png_writer.h"
#include "cli/tests/png_reader.h"

namespace {

[[noreturn]] void fail(const char* what, int size) {
    std::fprintf(stderr, "png_writer_fuzzer: %s (size %d)\n", what, size);
    std::abort();
}

// The input's bytes in turn, from the start again at its end (zeros when it
// is empty).
class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t next() { return size_ == 0 ? 0 : data_[at_++ % size_]; }
    std::uint32_t next32() { return next() | next() << 8 | next() << 16 | static_cast<std::uint32_t>(next()) << 24; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    // Up to 512 pixels: rows longer than deflate's window at 4 bits a pixel;
    // past that a picture only repeats its rows more often.
    const int side = 1 + (data[0] | data[1] << 8) % 512;
    // 1 to 16 colours take the palette; 17 or more (0: each pixel its own), RGBA.
    const unsigned colourCount = data[2] % 20;
    Bytes bytes(data + 3, size - 3);

    cartscope::IconPixels icon{};
    if (colourCount == 0) {
        for (auto& pixel : icon) pixel = bytes.next32();
    } else {
        std::vector<std::uint32_t> colours(colourCount);
        for (auto& colour : colours) colour = bytes.next32();
        for (std::size_t i = 0; i < icon.size(); i += 2) {
            const std::uint8_t pair = bytes.next();
            icon[i] = colours[(pair & 0xF) % colourCount];
            icon[i + 1] = colours[(pair >> 4) % colourCount];
        }
    }

    std::vector<std::uint8_t> png;
    if (!cartscope::cli::encodeIconPng(icon, side, png).empty()) fail("not written", side);
    cartscope::testing::DecodedPng picture;
    const std::string fault = cartscope::testing::readPng(png, picture);
    if (!fault.empty()) fail(fault.c_str(), side);
    if (picture.width != static_cast<unsigned>(side) || picture.height != static_cast<unsigned>(side))
        fail("not of its size", side);
    const auto n = static_cast<std::size_t>(side);
    for (std::size_t y = 0; y < n; ++y)
        for (std::size_t x = 0; x < n; ++x)
            if (picture.pixels[y * n + x] !=
                icon[(y * cartscope::kIconSide / n) * cartscope::kIconSide + x * cartscope::kIconSide / n])
                fail("a pixel that is not the icon's", side);
    return 0;
}

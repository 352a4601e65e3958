// The pictures the command line writes, read back by a reader written here
// on zlib: every chunk's CRC, the zlib stream (inflated whole, its Adler-32
// checked) and every pixel against the icon it was made from.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>
#include <zlib.h>

#include "cli/png_writer.h"

namespace {

using cartscope::IconPixels;
using cartscope::kIconSide;

struct Decoded {
    unsigned width = 0, height = 0;
    int depth = 0, colourType = 0;
    std::size_t compressed = 0;         // the bytes of all IDAT chunks
    std::vector<std::uint8_t> rows;     // inflated: each row's filter byte, then its pixels
    std::vector<std::uint32_t> pixels;  // ARGB
};

std::uint32_t big32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

// Reads the PNGs that the writer makes: not interlaced, rows without filter.
// A fault in the file is a test failure.
Decoded decode(const std::vector<std::uint8_t>& png) {
    Decoded picture;
    static const std::uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_TRUE(png.size() >= 8 && std::memcmp(png.data(), kSignature, 8) == 0) << "no PNG signature";
    std::vector<std::uint8_t> zlibStream;
    std::vector<std::uint32_t> palette;
    std::vector<std::string> order;
    std::size_t at = 8;
    while (at + 12 <= png.size()) {
        const std::uint32_t length = big32(&png[at]);
        if (at + 12 + length > png.size()) break;
        const std::string type(reinterpret_cast<const char*>(&png[at + 4]), 4);
        const std::uint8_t* data = &png[at + 8];
        const auto crc = static_cast<std::uint32_t>(crc32(0, &png[at + 4], length + 4));
        EXPECT_EQ(big32(data + length), crc) << "CRC of " << type;
        order.push_back(type);
        if (type == "IHDR" && length == 13) {
            picture.width = big32(data);
            picture.height = big32(data + 4);
            picture.depth = data[8];
            picture.colourType = data[9];
            EXPECT_EQ(data[10] | data[11] | data[12], 0) << "deflate, filter method 0, not interlaced";
        } else if (type == "PLTE") {
            for (std::uint32_t i = 0; i + 3 <= length; i += 3) palette.push_back(0xFF000000u | big32(data + i) >> 8);
        } else if (type == "tRNS") {
            for (std::uint32_t i = 0; i < length && i < palette.size(); ++i)
                palette[i] = (palette[i] & 0x00FFFFFFu) | static_cast<std::uint32_t>(data[i]) << 24;
        } else if (type == "IDAT") {
            zlibStream.insert(zlibStream.end(), data, data + length);
        }
        at += 12 + length;
    }
    EXPECT_EQ(at, png.size()) << "bytes after the last whole chunk";
    EXPECT_TRUE(!order.empty() && order.front() == "IHDR" && order.back() == "IEND") << "chunk order";
    picture.compressed = zlibStream.size();

    const bool paletted = picture.colourType == 3;
    EXPECT_TRUE((paletted && picture.depth == 4) || (picture.colourType == 6 && picture.depth == 8))
        << "colour type " << picture.colourType << ", depth " << picture.depth;
    const std::size_t rowBytes = paletted ? (picture.width + 1) / 2 : picture.width * 4;
    std::vector<std::uint8_t> raw((rowBytes + 1) * picture.height + 1);  // one more: nothing may be left over
    uLongf rawSize = raw.size();
    const int inflated = uncompress(raw.data(), &rawSize, zlibStream.data(), zlibStream.size());
    EXPECT_EQ(inflated, Z_OK) << "the zlib stream, its Adler-32 included";
    EXPECT_EQ(rawSize, (rowBytes + 1) * picture.height) << "bytes of the rows";
    if (inflated != Z_OK || rawSize != (rowBytes + 1) * picture.height) return picture;
    picture.rows.assign(raw.begin(), raw.begin() + static_cast<std::ptrdiff_t>(rawSize));

    for (unsigned y = 0; y < picture.height; ++y) {
        const std::uint8_t* row = &raw[y * (rowBytes + 1)];
        EXPECT_EQ(row[0], 0) << "row " << y << ": this reader knows rows without filter only";
        for (unsigned x = 0; x < picture.width; ++x) {
            if (paletted) {
                const unsigned index = (row[1 + x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0xF;
                EXPECT_LT(index, palette.size());
                picture.pixels.push_back(index < palette.size() ? palette[index] : 0xDEADBEEFu);
            } else {
                const std::uint8_t* p = &row[1 + x * 4];
                picture.pixels.push_back(static_cast<std::uint32_t>(p[3]) << 24 | static_cast<std::uint32_t>(p[0]) << 16 |
                                         static_cast<std::uint32_t>(p[1]) << 8 | p[2]);
            }
        }
    }
    return picture;
}

// Icons of `colours` colours (0: as many as there are pixels, in no order).
IconPixels makeIcon(std::uint32_t colours) {
    IconPixels icon{};
    std::uint32_t random = 12345;
    for (std::size_t i = 0; i < icon.size(); ++i) {
        random = random * 1103515245u + 12345u;
        if (colours == 0) {
            icon[i] = random;
            continue;
        }
        const std::uint32_t k = (random >> 16) % colours;
        icon[i] = k == 0 ? 0u : 0xFF000000u | (k * 0x2F1D0Bu & 0xFFFFFFu);
    }
    return icon;
}

// Every pixel comes back, at every size: sizes that are not multiples of the
// icon's, odd widths (half a byte of palette indices), pictures larger than
// deflate's 32 KiB window, rows longer than a match, and pixels of every byte
// value (the literals of 8 and of 9 bits).
TEST(PngWriter, EveryPixelComesBackAtEverySize) {
    for (const std::uint32_t colours : {1u, 2u, 16u, 17u, 0u}) {
        const IconPixels icon = makeIcon(colours);
        for (const int size : {1, 2, 7, 31, 32, 33, 97, 128, 640, 1025}) {
            std::vector<std::uint8_t> png;
            ASSERT_EQ(cartscope::cli::encodeIconPng(icon, size, png), "");
            const Decoded picture = decode(png);
            ASSERT_EQ(picture.width, static_cast<unsigned>(size)) << colours << " colours";
            ASSERT_EQ(picture.height, static_cast<unsigned>(size));
            EXPECT_EQ(picture.colourType, colours != 0 && colours <= 16 ? 3 : 6) << colours << " colours";
            ASSERT_EQ(picture.pixels.size(), static_cast<std::size_t>(size) * static_cast<std::size_t>(size));
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x)
                    ASSERT_EQ(picture.pixels[static_cast<std::size_t>(y * size + x)],
                              icon[static_cast<std::size_t>((y * kIconSide / size) * kIconSide + x * kIconSide / size)])
                        << colours << " colours, size " << size << ", at " << x << "," << y;
        }
    }
}

// Pictures compress near what zlib makes of the same rows at its best, at
// every size, and an enlarged icon (its rows and pixels repeated) to a small
// part of its rows: codes that do not fit the picture give up to twice
// zlib's bytes, a writer that finds no repeats more than the rows.
TEST(PngWriter, PicturesCompressNearlyAsWellAsZlib) {
    for (const std::uint32_t colours : {16u, 0u}) {
        const IconPixels icon = makeIcon(colours);
        for (const int size : {32, 128, 256, 1024, 2048}) {
            std::vector<std::uint8_t> png;
            ASSERT_EQ(cartscope::cli::encodeIconPng(icon, size, png), "");
            const Decoded picture = decode(png);
            ASSERT_FALSE(picture.rows.empty());
            std::vector<std::uint8_t> zlibbed(compressBound(picture.rows.size()));
            uLongf zlibSize = zlibbed.size();
            ASSERT_EQ(compress2(zlibbed.data(), &zlibSize, picture.rows.data(), picture.rows.size(), 9), Z_OK);
            if (size >= 256) {
                EXPECT_LT(picture.compressed * 8, picture.rows.size()) << colours << " colours, size " << size;
            }
            EXPECT_LE(picture.compressed, zlibSize + zlibSize / 4 + 16)
                << colours << " colours, size " << size << ": " << picture.compressed << " bytes, zlib " << zlibSize;
        }
    }
}

}  // namespace

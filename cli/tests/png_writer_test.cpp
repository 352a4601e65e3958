// The pictures the command line writes, read back by a reader of their own on
// zlib (png_reader.h), every pixel against the icon it was made from.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdint>
#include <vector>

#include "cli/png_writer.h"
#include "cli/tests/png_reader.h"

namespace {

using cartscope::IconPixels;
using cartscope::kIconSide;
using cartscope::testing::DecodedPng;

// The picture, read back; a fault in the file is a test failure.
DecodedPng decode(const std::vector<std::uint8_t>& png) {
    DecodedPng picture;
    EXPECT_EQ(cartscope::testing::readPng(png, picture), "");
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
            const DecodedPng picture = decode(png);
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
            const DecodedPng picture = decode(png);
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

// Codes keep their limit and stay complete (the Kraft sum exactly 1, so that
// every decoder takes them): with counts whose plain Huffman tree is far
// deeper than the limit (Fibonacci counts make it as deep as there are
// symbols), with even counts, and with one symbol used or none.
TEST(PngWriter, HuffmanCodesKeepTheirLimitAndAreComplete) {
    const auto fibonacci = [](std::size_t n) {
        std::vector<std::uint32_t> counts{1, 1};
        while (counts.size() < n) counts.push_back(counts[counts.size() - 1] + counts[counts.size() - 2]);
        return counts;
    };
    std::vector<std::uint32_t> one(19, 0);
    one[7] = 500;
    std::vector<std::uint32_t> skewed(30, 1);
    skewed[0] = 4'000'000'000u;
    const struct {
        const char* what;
        std::vector<std::uint32_t> counts;
        int limit;
    } cases[] = {
        {"Fibonacci, 30 literals", fibonacci(30), 15},
        {"Fibonacci, 19 code lengths", fibonacci(19), 7},
        {"Fibonacci, 46 literals", fibonacci(46), 15},
        {"even, 288 literals", std::vector<std::uint32_t>(288, 9), 15},
        {"one used", one, 7},
        {"none used", std::vector<std::uint32_t>(30, 0), 15},
        {"one far more used than the rest", skewed, 15},
    };
    for (const auto& c : cases) {
        const std::vector<std::uint8_t> lengths = cartscope::cli::huffmanLengths(c.counts, c.limit);
        ASSERT_EQ(lengths.size(), c.counts.size()) << c.what;
        std::uint64_t kraft = 0;  // in units of 2^-limit
        int coded = 0;
        for (std::size_t i = 0; i < lengths.size(); ++i) {
            EXPECT_LE(static_cast<int>(lengths[i]), c.limit) << c.what << ", symbol " << i;
            if (c.counts[i] > 0) {
                EXPECT_GT(lengths[i], 0) << c.what << ": symbol " << i << " is used but has no code";
            }
            if (lengths[i] == 0 || lengths[i] > c.limit) continue;
            kraft += std::uint64_t{1} << (c.limit - lengths[i]);
            ++coded;
        }
        EXPECT_GE(coded, 2) << c.what;
        EXPECT_EQ(kraft, std::uint64_t{1} << c.limit) << c.what << ": the code is not complete";
    }
}

}  // namespace

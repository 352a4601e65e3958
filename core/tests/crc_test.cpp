#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/crc.h"

using cartscope::crc16;
using cartscope::crc32;

TEST(Crc, KnownValues) {
    EXPECT_EQ(crc32("", 0), 0x00000000u);
    EXPECT_EQ(crc32("abc", 3), 0x352441C2u);
    EXPECT_EQ(crc32("123456789", 9), 0xCBF43926u);
    // CRC-16/MODBUS check value.
    EXPECT_EQ(crc16("123456789", 9), 0x4B37u);
    EXPECT_EQ(crc16("", 0), 0xFFFFu);
}

// The bulk paths (128-bit folding, and 512-bit from 4 KiB where the processor
// has it) must agree with the plain byte-by-byte definition for every length
// and alignment, and when the data comes in pieces.
TEST(Crc, Crc32AgreesWithBitwiseDefinitionForAllLengthsAndAlignments) {
    auto step = [](std::uint32_t c, unsigned char byte) {
        c ^= byte;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        return c;
    };
    std::mt19937 random(7);
    std::vector<unsigned char> data(9000);
    for (auto& b : data) b = static_cast<unsigned char>(random());
    for (std::size_t offset = 0; offset < 64; ++offset) {  // every place in a cache line
        std::uint32_t reference = 0xFFFFFFFF;              // of the first n bytes from offset
        for (std::size_t n = 0; n + offset <= data.size(); ++n) {
            if (n < 300 || n % 37 == 0 || (n > 4000 && n < 4400)) {
                ASSERT_EQ(crc32(data.data() + offset, n), ~reference) << "offset " << offset << " length " << n;
            }
            if (n + offset < data.size()) reference = step(reference, data[offset + n]);
        }
    }
    std::uint32_t whole = 0xFFFFFFFF;
    for (const unsigned char byte : data) whole = step(whole, byte);
    for (std::size_t split : {0u, 1u, 63u, 64u, 65u, 500u, 1200u, 4096u, 4111u, 9000u}) {
        const std::uint32_t first = crc32(data.data(), split);
        EXPECT_EQ(crc32(data.data() + split, data.size() - split, first), ~whole) << split;
    }
}

TEST(Crc, Crc16AgreesWithBitwiseDefinitionForAllLengthsAndAlignments) {
    auto reference = [](const unsigned char* p, std::size_t n) {
        unsigned c = 0xFFFF;
        for (std::size_t i = 0; i < n; ++i) {
            c ^= p[i];
            for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xA001 : c >> 1;
        }
        return static_cast<std::uint16_t>(c);
    };
    std::mt19937 random(11);
    std::vector<unsigned char> data(2200);
    for (auto& b : data) b = static_cast<unsigned char>(random());
    for (std::size_t offset = 0; offset < 16; ++offset) {
        for (std::size_t n = 0; n + offset <= data.size(); n += (n < 300 ? 1 : 29)) {
            ASSERT_EQ(crc16(data.data() + offset, n), reference(data.data() + offset, n))
                << "offset " << offset << " length " << n;
        }
    }
    // The banner's checked area, in two pieces.
    EXPECT_EQ(crc16(data.data() + 100, 0x820 - 100, crc16(data.data(), 100)), reference(data.data(), 0x820));
}

TEST(Crc, Crc32OfLargeUniformBuffers) {
    // 1 MiB of 0xFF and of zeros: values of well-known padding.
    std::vector<unsigned char> ff(1 << 20, 0xFF), zero(1 << 20, 0x00);
    std::uint32_t c = 0;
    for (int i = 0; i < 16; ++i) c = crc32(ff.data() + i * 65536, 65536, c);
    EXPECT_EQ(c, crc32(ff.data(), ff.size()));
    EXPECT_NE(crc32(ff.data(), ff.size()), crc32(zero.data(), zero.size()));
}

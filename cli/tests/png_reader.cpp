#include "cli/tests/png_reader.h"

#include <zlib.h>

#include <cstring>
#include <utility>

namespace cartscope::testing {

namespace {

std::uint32_t big32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

}  // namespace

std::string readPng(const std::vector<std::uint8_t>& png, DecodedPng& picture) {
    picture = {};
    static const std::uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (png.size() < 8 || std::memcmp(png.data(), kSignature, 8) != 0) return "no PNG signature";
    std::vector<std::uint8_t> zlibStream;
    std::vector<std::uint32_t> palette;
    std::vector<std::string> order;
    std::size_t at = 8;
    while (at + 12 <= png.size()) {
        const std::uint32_t length = big32(&png[at]);
        if (length > png.size() - at - 12) break;
        const std::string type(reinterpret_cast<const char*>(&png[at + 4]), 4);
        const std::uint8_t* data = &png[at + 8];
        if (big32(data + length) != static_cast<std::uint32_t>(crc32(0, &png[at + 4], length + 4))) return "the CRC of " + type;
        order.push_back(type);
        if (type == "IHDR") {
            if (length != 13) return "an IHDR of " + std::to_string(length) + " bytes";
            picture.width = big32(data);
            picture.height = big32(data + 4);
            picture.depth = data[8];
            picture.colourType = data[9];
            if ((data[10] | data[11] | data[12]) != 0) return "not deflate, filter method 0 and not interlaced";
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
    if (at != png.size()) return "bytes after the last whole chunk";
    if (order.empty() || order.front() != "IHDR" || order.back() != "IEND") return "chunks out of order";
    picture.compressed = zlibStream.size();

    const bool paletted = picture.colourType == 3;
    if (!(paletted && picture.depth == 4) && !(picture.colourType == 6 && picture.depth == 8))
        return "colour type " + std::to_string(picture.colourType) + " at depth " + std::to_string(picture.depth);
    const std::size_t rowBytes = paletted ? (picture.width + 1) / 2 : std::size_t{picture.width} * 4;
    const std::size_t rawBytes = (rowBytes + 1) * picture.height;
    std::vector<std::uint8_t> raw(rawBytes + 1);  // one more: nothing may be left over
    uLongf rawSize = raw.size();
    if (uncompress(raw.data(), &rawSize, zlibStream.data(), zlibStream.size()) != Z_OK)
        return "the zlib stream (its Adler-32 included)";
    if (rawSize != rawBytes) return std::to_string(rawSize) + " bytes of rows, not " + std::to_string(rawBytes);
    raw.resize(rawSize);

    picture.pixels.reserve(std::size_t{picture.width} * picture.height);
    for (unsigned y = 0; y < picture.height; ++y) {
        const std::uint8_t* row = &raw[y * (rowBytes + 1)];
        if (row[0] != 0) return "row " + std::to_string(y) + " has a filter";
        for (unsigned x = 0; x < picture.width; ++x) {
            if (paletted) {
                const unsigned index = (row[1 + x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0xF;
                if (index >= palette.size()) return "a colour past the palette at " + std::to_string(x) + "," + std::to_string(y);
                picture.pixels.push_back(palette[index]);
            } else {
                const std::uint8_t* p = &row[1 + x * 4];
                picture.pixels.push_back(static_cast<std::uint32_t>(p[3]) << 24 | static_cast<std::uint32_t>(p[0]) << 16 |
                                         static_cast<std::uint32_t>(p[1]) << 8 | p[2]);
            }
        }
    }
    picture.rows = std::move(raw);
    return {};
}

}  // namespace cartscope::testing

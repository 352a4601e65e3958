#include "cli/png_writer.h"

#include <algorithm>
#include <array>
#include <new>
#include <vector>

#include "core/crc.h"

// The pictures are written by this file alone, with no PNG or zlib library:
// a program started once a file (the icon and thumbnail commands, a file
// manager's thumbnailer) would spend about as long loading libpng, zlib and
// the maths library as it spends on all its own work. What is written is
// small and always of one kind: pixel art of at most 16 colours, enlarged by
// repeating pixels and rows. One deflate block with the fixed codes, whose
// matches find those repeats, compresses it about as well as zlib does.

namespace cartscope::cli {

namespace {

// Bits as deflate orders them: from the lowest bit of each byte up.
class BitWriter {
public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}

    // `count` (at most 16) bits of `value`, lowest first: header fields and
    // extra bits.
    void bits(std::uint32_t value, int count) {
        pending_ |= value << filled_;
        filled_ += count;
        while (filled_ >= 8) {
            out_.push_back(static_cast<std::uint8_t>(pending_));
            pending_ >>= 8;
            filled_ -= 8;
        }
    }

    // A Huffman code of `length` bits, which deflate stores from its highest
    // bit down.
    void code(std::uint32_t code, int length) {
        std::uint32_t reversed = 0;
        for (int i = 0; i < length; ++i, code >>= 1) reversed = reversed << 1 | (code & 1);
        bits(reversed, length);
    }

    // Pads the last byte with zero bits.
    void finish() {
        if (filled_ > 0) out_.push_back(static_cast<std::uint8_t>(pending_));
        pending_ = 0;
        filled_ = 0;
    }

private:
    std::vector<std::uint8_t>& out_;
    std::uint32_t pending_ = 0;
    int filled_ = 0;
};

// The fixed literal/length code (RFC 1951, 3.2.6).
void putSymbol(BitWriter& out, unsigned symbol) {
    if (symbol < 144)
        out.code(0x30 + symbol, 8);
    else if (symbol < 256)
        out.code(0x190 + (symbol - 144), 9);
    else if (symbol < 280)
        out.code(symbol - 256, 7);
    else
        out.code(0xC0 + (symbol - 280), 8);
}

constexpr std::array<std::uint16_t, 29> kLengthBase{3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                                    31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<std::uint8_t, 29> kLengthExtra{0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                    2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<std::uint16_t, 30> kDistanceBase{1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                                      33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                                      1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<std::uint8_t, 30> kDistanceExtra{0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                      6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

constexpr std::size_t kMinMatch = 3;
constexpr std::size_t kMaxMatch = 258;
constexpr std::size_t kWindow = 32768;
// The earlier places with the same three bytes that each match tries, and
// how far back they may lie. The row above is tried at any distance; the
// other repeats of an enlarged picture are close. So the chains are small,
// the same few kilobytes for any picture: a process that writes one thumbnail
// pays for every page it touches, and larger chains made the samples' pictures
// no smaller.
constexpr int kChainTries = 16;
constexpr std::size_t kChainReach = 1024;
constexpr int kHashBits = 9;

// A copy of `length` bytes from `distance` back.
void putMatch(BitWriter& out, std::size_t length, std::size_t distance) {
    const auto l =
        static_cast<std::size_t>(std::upper_bound(kLengthBase.begin(), kLengthBase.end(), length) - kLengthBase.begin() - 1);
    putSymbol(out, static_cast<unsigned>(257 + l));
    out.bits(static_cast<std::uint32_t>(length - kLengthBase[l]), kLengthExtra[l]);
    const auto d = static_cast<std::size_t>(std::upper_bound(kDistanceBase.begin(), kDistanceBase.end(), distance) -
                                            kDistanceBase.begin() - 1);
    out.code(static_cast<std::uint32_t>(d), 5);
    out.bits(static_cast<std::uint32_t>(distance - kDistanceBase[d]), kDistanceExtra[d]);
}

// `data` as one final deflate block with the fixed codes. Each place takes
// the longest of the matches it tries: the same place a row above (`stride`
// bytes back: an enlarged picture repeats its rows), then the latest places
// that began with the same three bytes (repeated pixels).
void deflateFixed(const std::vector<std::uint8_t>& data, std::size_t stride, BitWriter& out) {
    const std::size_t size = data.size();
    // The chains: for each hash of three bytes the latest place with it (one
    // up, 0 for none), and for each place the distance back to the one before
    // it (0: none within reach).
    std::vector<std::uint32_t> latest(std::size_t{1} << kHashBits, 0);
    std::vector<std::uint16_t> back(kChainReach, 0);
    const auto hashAt = [&](std::size_t p) {
        const std::uint32_t three = data[p] | data[p + 1] << 8 | data[p + 2] << 16;
        return (three * 2654435761u) >> (32 - kHashBits);
    };
    const auto remember = [&](std::size_t p) {
        if (p + kMinMatch > size) return;
        std::uint32_t& slot = latest[hashAt(p)];
        const std::size_t distance = slot == 0 ? 0 : p - (slot - 1);
        back[p % kChainReach] = static_cast<std::uint16_t>(distance <= kChainReach ? distance : 0);
        slot = static_cast<std::uint32_t>(p + 1);
    };

    out.bits(1, 1);  // the final block
    out.bits(1, 2);  // with the fixed codes
    std::size_t p = 0;
    while (p < size) {
        std::size_t bestLength = 0;
        std::size_t bestDistance = 0;
        const std::size_t limit = std::min(kMaxMatch, size - p);
        const auto tryFrom = [&](std::size_t from) {
            std::size_t n = 0;
            while (n < limit && data[from + n] == data[p + n]) ++n;
            if (n > bestLength) {
                bestLength = n;
                bestDistance = p - from;
            }
        };
        if (limit >= kMinMatch) {
            if (stride > 0 && stride <= kWindow && p >= stride) tryFrom(p - stride);
            const std::uint32_t first = latest[hashAt(p)];
            std::size_t from = first == 0 ? p : first - 1;
            for (int tries = kChainTries; from < p && p - from <= kChainReach && tries > 0 && bestLength < limit; --tries) {
                tryFrom(from);
                const std::uint16_t distance = back[from % kChainReach];
                if (distance == 0 || distance > from) break;
                from -= distance;
            }
        }
        if (bestLength >= kMinMatch) {
            putMatch(out, bestLength, bestDistance);
            for (std::size_t i = 0; i < bestLength; ++i) remember(p + i);
            p += bestLength;
        } else {
            putSymbol(out, data[p]);
            remember(p);
            ++p;
        }
    }
    putSymbol(out, 256);  // end of block
    out.finish();
}

std::uint32_t adler32(const std::vector<std::uint8_t>& data) {
    constexpr std::uint32_t kBase = 65521;
    constexpr std::size_t kRun = 5552;  // the most bytes before b can overflow
    std::uint32_t a = 1;
    std::uint32_t b = 0;
    for (std::size_t start = 0; start < data.size(); start += kRun) {
        const std::size_t end = std::min(data.size(), start + kRun);
        for (std::size_t i = start; i < end; ++i) {
            a += data[i];
            b += a;
        }
        a %= kBase;
        b %= kBase;
    }
    return b << 16 | a;
}

void putBig32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

// A chunk's length and type; `endChunk` writes its CRC once its data follow.
std::size_t beginChunk(std::vector<std::uint8_t>& png, const char (&type)[5]) {
    putBig32(png, 0);
    const std::size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    return start;
}

void endChunk(std::vector<std::uint8_t>& png, std::size_t start) {
    const auto length = static_cast<std::uint32_t>(png.size() - start - 4);
    for (int i = 0; i < 4; ++i) png[start - 4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(length >> (24 - 8 * i));
    putBig32(png, crc32(&png[start], png.size() - start));
}

// What is written: rows of palette indices (4 bits a pixel) or of RGBA, each
// after its filter byte (0: none).
struct Picture {
    std::size_t side = 0;
    std::size_t stride = 0;              // filter byte and row
    std::vector<std::uint32_t> colours;  // the palette; empty for RGBA
    std::vector<std::uint8_t> rows;
};

// A banner icon has 16 colours (one of them transparent): its picture gets a
// palette of the colours it uses, at 4 bits a pixel, an eighth of the bytes
// of RGBA. Other icons (more than 16 colours) are written as RGBA. Rows have
// no filter: pixel art compresses better without.
Picture makePicture(const IconPixels& icon, std::size_t side) {
    Picture picture;
    picture.side = side;
    std::array<std::uint8_t, kIconSide * kIconSide> indices{};
    std::size_t last = 0;  // pixel art repeats its colours: the last one first
    for (std::size_t i = 0; i < icon.size(); ++i) {
        auto& colours = picture.colours;
        if (last < colours.size() && colours[last] == icon[i]) {
            indices[i] = static_cast<std::uint8_t>(last);
            continue;
        }
        last = static_cast<std::size_t>(std::find(colours.begin(), colours.end(), icon[i]) - colours.begin());
        if (last == colours.size()) {
            if (colours.size() == 16) {
                colours.clear();
                break;
            }
            colours.push_back(icon[i]);
        }
        indices[i] = static_cast<std::uint8_t>(last);
    }
    const bool paletted = !picture.colours.empty();
    picture.stride = 1 + (paletted ? (side + 1) / 2 : side * 4);
    picture.rows.resize(picture.stride * side);
    for (std::size_t y = 0; y < side; ++y) {
        std::uint8_t* row = &picture.rows[y * picture.stride + 1];
        const std::size_t from = (y * kIconSide / side) * kIconSide;
        for (std::size_t x = 0; x < side; ++x) {
            const std::size_t pixel = from + x * kIconSide / side;
            if (paletted) {
                row[x / 2] = static_cast<std::uint8_t>(row[x / 2] | indices[pixel] << (x % 2 == 0 ? 4 : 0));
                continue;
            }
            const std::uint32_t argb = icon[pixel];
            std::uint8_t* p = &row[x * 4];
            p[0] = static_cast<std::uint8_t>(argb >> 16);
            p[1] = static_cast<std::uint8_t>(argb >> 8);
            p[2] = static_cast<std::uint8_t>(argb);
            p[3] = static_cast<std::uint8_t>(argb >> 24);
        }
    }
    return picture;
}

void writePng(const Picture& picture, std::vector<std::uint8_t>& png) {
    static constexpr std::uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    png.insert(png.end(), std::begin(kSignature), std::end(kSignature));

    const bool paletted = !picture.colours.empty();
    std::size_t chunk = beginChunk(png, "IHDR");
    putBig32(png, static_cast<std::uint32_t>(picture.side));
    putBig32(png, static_cast<std::uint32_t>(picture.side));
    png.push_back(paletted ? 4 : 8);   // bits a sample
    png.push_back(paletted ? 3 : 6);   // colour type: palette, or RGBA
    png.insert(png.end(), {0, 0, 0});  // deflate, filters of method 0, not interlaced
    endChunk(png, chunk);

    if (paletted) {
        chunk = beginChunk(png, "PLTE");
        for (const std::uint32_t argb : picture.colours)
            png.insert(png.end(), {static_cast<std::uint8_t>(argb >> 16), static_cast<std::uint8_t>(argb >> 8),
                                   static_cast<std::uint8_t>(argb)});
        endChunk(png, chunk);
        chunk = beginChunk(png, "tRNS");
        for (const std::uint32_t argb : picture.colours) png.push_back(static_cast<std::uint8_t>(argb >> 24));
        endChunk(png, chunk);
    }

    chunk = beginChunk(png, "IDAT");
    png.insert(png.end(), {0x78, 0x01});  // deflate with a 32 KiB window, no dictionary
    BitWriter bits(png);
    deflateFixed(picture.rows, picture.stride, bits);
    putBig32(png, adler32(picture.rows));
    endChunk(png, chunk);

    chunk = beginChunk(png, "IEND");
    endChunk(png, chunk);
}

}  // namespace

std::string encodeIconPng(const IconPixels& icon, int size, std::vector<std::uint8_t>& png) {
    png.clear();
    try {
        // Room for a picture of few repeats at once (an icon's PNG is a few
        // hundred bytes); a larger one grows as it is written.
        png.reserve(512 + static_cast<std::size_t>(size) * static_cast<std::size_t>(size) / 8);
        writePng(makePicture(icon, static_cast<std::size_t>(size)), png);
    } catch (const std::bad_alloc&) {
        png.clear();
        return "out of memory";
    }
    return {};
}

}  // namespace cartscope::cli

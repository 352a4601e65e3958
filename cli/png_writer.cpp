#include "cli/png_writer.h"

#include <algorithm>
#include <array>
#include <functional>
#include <new>
#include <queue>
#include <utility>
#include <vector>

#include "core/crc.h"

// The pictures are written by this file alone, with no PNG or zlib library:
// a program started once a file (the icon and thumbnail commands, a file
// manager's thumbnailer) would spend about as long loading libpng, zlib and
// the maths library as it spends on all its own work. What is written is
// small and always of one kind: pixel art of at most 16 colours, enlarged by
// repeating pixels and rows. One deflate block, whose matches find those
// repeats, compresses it about as well as zlib at its best does (within a
// tenth, and better for some large pictures): with the fixed codes for an
// icon, with codes made for the picture when those take fewer bits.

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

constexpr unsigned kEndOfBlock = 256;
constexpr std::size_t kLiteralLengthCodes = 286;  // bytes, the end of the block, 29 lengths
constexpr std::size_t kDistanceCodes = 30;

// One step of the compressed data: a byte as it stands (length 0), or a copy
// of `length` bytes from `value` back.
struct Token {
    std::uint16_t length;
    std::uint16_t value;
};

std::size_t lengthCode(std::size_t length) {
    return static_cast<std::size_t>(std::upper_bound(kLengthBase.begin(), kLengthBase.end(), length) - kLengthBase.begin() - 1);
}

std::size_t distanceCode(std::size_t distance) {
    return static_cast<std::size_t>(std::upper_bound(kDistanceBase.begin(), kDistanceBase.end(), distance) -
                                    kDistanceBase.begin() - 1);
}

// The data as tokens. Each place takes the longest of the matches it tries:
// the same place a row above (`stride` bytes back: an enlarged picture
// repeats its rows), then the latest places that began with the same three
// bytes (repeated pixels).
std::vector<Token> findMatches(const std::vector<std::uint8_t>& data, std::size_t stride) {
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

    std::vector<Token> tokens;
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
            tokens.push_back({static_cast<std::uint16_t>(bestLength), static_cast<std::uint16_t>(bestDistance)});
            for (std::size_t i = 0; i < bestLength; ++i) remember(p + i);
            p += bestLength;
        } else {
            tokens.push_back({0, data[p]});
            remember(p);
            ++p;
        }
    }
    return tokens;
}

// A prefix code: each symbol's length in bits (0: not used) and its code.
struct Code {
    std::vector<std::uint8_t> lengths;
    std::vector<std::uint16_t> codes;
};

// The canonical code of the lengths (RFC 1951, 3.2.2).
Code canonical(std::vector<std::uint8_t> lengths) {
    std::array<std::uint16_t, 16> count{};
    for (const std::uint8_t length : lengths)
        if (length > 0) ++count[length];
    std::array<std::uint16_t, 16> next{};
    for (std::size_t bits = 2; bits < next.size(); ++bits)
        next[bits] = static_cast<std::uint16_t>((next[bits - 1] + count[bits - 1]) << 1);
    Code code{std::move(lengths), {}};
    code.codes.resize(code.lengths.size());
    for (std::size_t i = 0; i < code.lengths.size(); ++i)
        if (code.lengths[i] > 0) code.codes[i] = next[code.lengths[i]]++;
    return code;
}

}  // namespace

std::vector<std::uint8_t> huffmanLengths(std::vector<std::uint32_t> counts, int limit) {
    std::size_t used = static_cast<std::size_t>(std::count_if(counts.begin(), counts.end(), [](auto n) { return n > 0; }));
    for (std::size_t i = 0; used < 2 && i < counts.size(); ++i)
        if (counts[i] == 0) {
            counts[i] = 1;
            ++used;
        }
    for (;;) {
        // The tree: the leaves, then each join of the two lightest nodes.
        using Node = std::pair<std::uint64_t, std::size_t>;  // weight, index
        std::priority_queue<Node, std::vector<Node>, std::greater<>> lightest;
        std::vector<std::size_t> parent;
        std::vector<std::size_t> symbolOf;  // of each leaf
        for (std::size_t i = 0; i < counts.size(); ++i) {
            if (counts[i] == 0) continue;
            lightest.push({counts[i], parent.size()});
            parent.push_back(0);
            symbolOf.push_back(i);
        }
        while (lightest.size() > 1) {
            const Node a = lightest.top();
            lightest.pop();
            const Node b = lightest.top();
            lightest.pop();
            parent[a.second] = parent[b.second] = parent.size();
            lightest.push({a.first + b.first, parent.size()});
            parent.push_back(0);
        }
        // A node's parent comes after it: depths from the root down.
        std::vector<std::uint8_t> depth(parent.size(), 0);
        for (std::size_t node = parent.size() - 1; node-- > 0;) depth[node] = static_cast<std::uint8_t>(depth[parent[node]] + 1);
        if (*std::max_element(depth.begin(), depth.begin() + static_cast<std::ptrdiff_t>(symbolOf.size())) <= limit) {
            std::vector<std::uint8_t> lengths(counts.size(), 0);
            for (std::size_t leaf = 0; leaf < symbolOf.size(); ++leaf) lengths[symbolOf[leaf]] = depth[leaf];
            return lengths;
        }
        // Too deep: evener weights make a flatter tree.
        for (auto& n : counts)
            if (n > 0) n = (n + 1) / 2;
    }
}

namespace {

// The canonical code of those lengths.
Code huffman(std::vector<std::uint32_t> counts, int limit) { return canonical(huffmanLengths(std::move(counts), limit)); }

// The bits that `code` gives symbols used `counts` times.
std::uint64_t codedBits(const Code& code, const std::vector<std::uint32_t>& counts) {
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < counts.size(); ++i) bits += std::uint64_t{counts[i]} * code.lengths[i];
    return bits;
}

// The code lengths as deflate sends them: a length, or a run of the length
// before (16: 3 to 6 more), of zeros (17: 3 to 10; 18: 11 to 138).
struct LengthStep {
    std::uint8_t symbol;
    std::uint8_t extra;
};
constexpr std::array<int, 19> kStepExtraBits{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};
// The order in which the code of the code lengths is sent.
constexpr std::array<std::uint8_t, 19> kLengthOrder{16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

std::vector<LengthStep> lengthSteps(const std::vector<std::uint8_t>& lengths) {
    std::vector<LengthStep> steps;
    for (std::size_t i = 0; i < lengths.size();) {
        const std::uint8_t length = lengths[i];
        std::size_t run = 1;
        while (i + run < lengths.size() && lengths[i + run] == length) ++run;
        i += run;
        if (length == 0) {
            for (; run >= 11; run -= std::min<std::size_t>(run, 138))
                steps.push_back({18, static_cast<std::uint8_t>(std::min<std::size_t>(run, 138) - 11)});
            if (run >= 3) {
                steps.push_back({17, static_cast<std::uint8_t>(run - 3)});
                run = 0;
            }
        } else {
            steps.push_back({length, 0});
            for (--run; run >= 3; run -= std::min<std::size_t>(run, 6))
                steps.push_back({16, static_cast<std::uint8_t>(std::min<std::size_t>(run, 6) - 3)});
        }
        for (; run > 0; --run) steps.push_back({length, 0});
    }
    return steps;
}

void putTokens(BitWriter& out, const std::vector<Token>& tokens, const Code& literals, const Code& distances) {
    for (const Token& token : tokens) {
        if (token.length == 0) {
            out.code(literals.codes[token.value], literals.lengths[token.value]);
            continue;
        }
        const std::size_t l = lengthCode(token.length);
        out.code(literals.codes[257 + l], literals.lengths[257 + l]);
        out.bits(static_cast<std::uint32_t>(token.length - kLengthBase[l]), kLengthExtra[l]);
        const std::size_t d = distanceCode(token.value);
        out.code(distances.codes[d], distances.lengths[d]);
        out.bits(static_cast<std::uint32_t>(token.value - kDistanceBase[d]), kDistanceExtra[d]);
    }
    out.code(literals.codes[kEndOfBlock], literals.lengths[kEndOfBlock]);
}

// How many of the code's lengths are sent: up to its last used symbol, and
// at least `least`.
std::size_t lengthsSent(const Code& code, std::size_t least) {
    std::size_t sent = code.lengths.size();
    while (sent > least && code.lengths[sent - 1] == 0) --sent;
    return sent;
}

// The fixed codes (RFC 1951, 3.2.6).
const Code& fixedLiterals() {
    static const Code code = [] {
        std::vector<std::uint8_t> lengths(288, 8);
        std::fill(lengths.begin() + 144, lengths.begin() + 256, 9);
        std::fill(lengths.begin() + 256, lengths.begin() + 280, 7);
        return canonical(std::move(lengths));
    }();
    return code;
}

const Code& fixedDistances() {
    static const Code code = canonical(std::vector<std::uint8_t>(kDistanceCodes, 5));
    return code;
}

// The block's type and codes with codes made for its tokens, followed by
// the tokens, when that takes fewer bits than the fixed codes; false (and
// nothing written) when it does not.
bool putWithOwnCodes(BitWriter& out, const std::vector<Token>& tokens) {
    std::vector<std::uint32_t> literalCounts(kLiteralLengthCodes, 0);
    std::vector<std::uint32_t> distanceCounts(kDistanceCodes, 0);
    for (const Token& token : tokens) {
        if (token.length == 0) {
            ++literalCounts[token.value];
        } else {
            ++literalCounts[257 + lengthCode(token.length)];
            ++distanceCounts[distanceCode(token.value)];
        }
    }
    ++literalCounts[kEndOfBlock];

    const Code literals = huffman(literalCounts, 15);
    const Code distances = huffman(distanceCounts, 15);
    const std::size_t literalsSent = lengthsSent(literals, 257);
    const std::size_t distancesSent = lengthsSent(distances, 1);
    std::vector<std::uint8_t> lengths(literals.lengths.begin(),
                                      literals.lengths.begin() + static_cast<std::ptrdiff_t>(literalsSent));
    lengths.insert(lengths.end(), distances.lengths.begin(),
                   distances.lengths.begin() + static_cast<std::ptrdiff_t>(distancesSent));
    const std::vector<LengthStep> steps = lengthSteps(lengths);
    std::vector<std::uint32_t> stepCounts(kLengthOrder.size(), 0);
    for (const LengthStep& step : steps) ++stepCounts[step.symbol];
    const Code stepCode = huffman(stepCounts, 7);
    std::size_t stepLengthsSent = kLengthOrder.size();
    while (stepLengthsSent > 4 && stepCode.lengths[kLengthOrder[stepLengthsSent - 1]] == 0) --stepLengthsSent;

    // The extra bits of lengths and distances are the same either way.
    std::uint64_t ownBits = 14 + 3 * stepLengthsSent + codedBits(stepCode, stepCounts) + codedBits(literals, literalCounts) +
                            codedBits(distances, distanceCounts);
    for (std::size_t symbol = 16; symbol < stepCounts.size(); ++symbol)
        ownBits += std::uint64_t{stepCounts[symbol]} * static_cast<std::uint64_t>(kStepExtraBits[symbol]);
    if (ownBits >= codedBits(fixedLiterals(), literalCounts) + codedBits(fixedDistances(), distanceCounts)) return false;

    out.bits(2, 2);  // codes of its own
    out.bits(static_cast<std::uint32_t>(literalsSent - 257), 5);
    out.bits(static_cast<std::uint32_t>(distancesSent - 1), 5);
    out.bits(static_cast<std::uint32_t>(stepLengthsSent - 4), 4);
    for (std::size_t i = 0; i < stepLengthsSent; ++i) out.bits(stepCode.lengths[kLengthOrder[i]], 3);
    for (const LengthStep& step : steps) {
        out.code(stepCode.codes[step.symbol], stepCode.lengths[step.symbol]);
        out.bits(step.extra, kStepExtraBits[step.symbol]);
    }
    putTokens(out, tokens, literals, distances);
    return true;
}

// Rows of less than this many bytes (an icon at its own size, or a little
// larger) are sent with the fixed codes without trying codes of their own:
// those would save a few bytes, and making them would cost a process that
// writes one icon a few percent of its time.
constexpr std::size_t kOwnCodesFrom = 4096;

// `data` as one final deflate block.
void deflate(const std::vector<std::uint8_t>& data, std::size_t stride, BitWriter& out) {
    const std::vector<Token> tokens = findMatches(data, stride);
    out.bits(1, 1);  // the final block
    if (data.size() < kOwnCodesFrom || !putWithOwnCodes(out, tokens)) {
        out.bits(1, 2);  // the fixed codes
        putTokens(out, tokens, fixedLiterals(), fixedDistances());
    }
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

// PNG's numbers: four bytes, the highest first.
void storeBig32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

void putBig32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.resize(out.size() + 4);
    storeBig32(&out[out.size() - 4], value);
}

// A chunk's length and type; `endChunk` writes its CRC once its data follow.
std::size_t beginChunk(std::vector<std::uint8_t>& png, const char (&type)[5]) {
    putBig32(png, 0);
    const std::size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    return start;
}

void endChunk(std::vector<std::uint8_t>& png, std::size_t start) {
    storeBig32(&png[start - 4], static_cast<std::uint32_t>(png.size() - start - 4));
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
    deflate(picture.rows, picture.stride, bits);
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

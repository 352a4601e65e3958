// make_icons: draws the icons of Cartscope.dll and of Cartscope CMD.exe and
// writes them as .ico files.
//
//   make_icons <output folder>
//
// The pictures live in this file as source: the 16 x 16 images are pixel art
// (one character per pixel, looked up in a small table of inks), the 64 x 64
// ones are lists of rounded rectangles and strokes rendered with 4 x 4 integer
// supersampling. Nothing depends on floating point, the platform or the time,
// so every run writes the same bytes; the .ico files in the resource folder
// are this program's output.
//
// Each .ico holds BMP-format images: BITMAPINFOHEADER with the doubled height,
// the colour bitmap bottom-up (8-bit with a 256-colour palette, 24-bit, or
// 32-bit with alpha), then the 1-bit AND mask.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Rgba {
    std::uint8_t r = 0, g = 0, b = 0, a = 0;
};

bool sameColour(const Rgba& x, const Rgba& y) { return x.r == y.r && x.g == y.g && x.b == y.b; }

constexpr Rgba opaque(std::uint8_t r, std::uint8_t g, std::uint8_t b) { return Rgba{r, g, b, 255}; }

constexpr Rgba kClear{0, 0, 0, 0};

struct Image {
    int width = 0;
    int height = 0;
    std::vector<Rgba> pixels;  // row by row from the top

    Image(int w, int h) : width(w), height(h), pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h)) {}
    Rgba& at(int x, int y) {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
    }
    const Rgba& at(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
    }
};

// --- Pixel art ---------------------------------------------------------------

struct Ink {
    char key;
    Rgba colour;
};

Image fromArt(const std::vector<std::string>& rows, const std::vector<Ink>& inks) {
    if (rows.empty()) throw std::runtime_error("pixel art without rows");
    Image image(static_cast<int>(rows.front().size()), static_cast<int>(rows.size()));
    for (int y = 0; y < image.height; ++y) {
        const std::string& row = rows[static_cast<std::size_t>(y)];
        if (static_cast<int>(row.size()) != image.width)
            throw std::runtime_error("pixel art row " + std::to_string(y) + " has the wrong length");
        for (int x = 0; x < image.width; ++x) {
            const char key = row[static_cast<std::size_t>(x)];
            const auto ink = std::find_if(inks.begin(), inks.end(), [key](const Ink& i) { return i.key == key; });
            if (ink == inks.end()) throw std::runtime_error(std::string("pixel art uses the unknown ink '") + key + "'");
            image.at(x, y) = ink->colour;
        }
    }
    return image;
}

// Greys and colours of the cartridge, shared by both sizes.
constexpr Rgba kCardOutline = opaque(58, 60, 68);
constexpr Rgba kCardLight = opaque(224, 227, 232);
constexpr Rgba kCardBody = opaque(184, 188, 196);
constexpr Rgba kCardShade = opaque(142, 146, 154);
constexpr Rgba kLabel = opaque(248, 248, 244);
constexpr Rgba kLabelBand = opaque(40, 96, 200);
constexpr Rgba kLabelText = opaque(150, 154, 162);
constexpr Rgba kLabelLogo = opaque(214, 48, 48);
constexpr Rgba kContact = opaque(226, 182, 64);
constexpr Rgba kContactGap = opaque(104, 106, 114);

const std::vector<Ink> kCardInks = {
    {'.', kClear},     {'k', kCardOutline}, {'h', kCardLight}, {'g', kCardBody}, {'s', kCardShade},  {'w', kLabel},
    {'b', kLabelBand}, {'t', kLabelText},   {'r', kLabelLogo}, {'y', kContact},  {'d', kContactGap},
};

// A DS game card seen from the front: the grip ridge at the top, the label,
// and the contacts at the bottom edge.
Image cartridge16() {
    return fromArt(
        {
            "................",
            "..kkkkkkkkkkkk..",
            ".khhhhhhhhhhhhk.",
            ".khssssssssssgk.",
            ".khggggggggggsk.",
            ".khwwwwwwwwwwsk.",
            ".khwbbbbbbbbwsk.",
            ".khwbbbbbbbbwsk.",
            ".khwwwwwwwwwwsk.",
            ".khwttttttwrwsk.",
            ".khwwwwwwwwwwsk.",
            ".khggggggggggsk.",
            ".khgydydydydysk.",
            ".khgydydydydysk.",
            "..kkkkkkkkkkkk..",
            "................",
        },
        kCardInks);
}

// --- Flags -------------------------------------------------------------------

constexpr Rgba kWhite = opaque(250, 250, 250);
// Half-transparent dark edge, so that white fields stay visible on a white menu.
constexpr Rgba kFlagEdge{40, 40, 40, 170};

// A flag of 12 x 9 pixels, framed by its edge and placed in a 16 x 16 image.
Image framedFlag(const std::vector<std::string>& field, const std::vector<Ink>& inks) {
    std::vector<std::string> rows(16, std::string(16, '.'));
    for (int x = 2; x <= 13; ++x) rows[2][static_cast<std::size_t>(x)] = rows[12][static_cast<std::size_t>(x)] = '#';
    for (int y = 3; y <= 11; ++y) rows[static_cast<std::size_t>(y)][1] = rows[static_cast<std::size_t>(y)][14] = '#';
    if (field.size() != 9) throw std::runtime_error("a flag field has 9 rows");
    for (std::size_t y = 0; y < field.size(); ++y) {
        if (field[y].size() != 12) throw std::runtime_error("a flag field row has 12 pixels");
        rows[y + 3].replace(2, 12, field[y]);
    }
    std::vector<Ink> all = inks;
    all.push_back({'.', kClear});
    all.push_back({'#', kFlagEdge});
    return fromArt(rows, all);
}

Image flagGermany() {
    return framedFlag(
        {
            "KKKKKKKKKKKK",
            "KKKKKKKKKKKK",
            "KKKKKKKKKKKK",
            "RRRRRRRRRRRR",
            "RRRRRRRRRRRR",
            "RRRRRRRRRRRR",
            "GGGGGGGGGGGG",
            "GGGGGGGGGGGG",
            "GGGGGGGGGGGG",
        },
        {{'K', opaque(16, 16, 16)}, {'R', opaque(221, 0, 0)}, {'G', opaque(255, 206, 0)}});
}

Image flagUnitedKingdom() {
    // Too small for the red diagonals: white saltire, red cross edged in white.
    return framedFlag(
        {
            "WWBBWRRWBBWW",
            "BWWBWRRWBWWB",
            "BBWWWRRWWWBB",
            "WWWWWRRWWWWW",
            "RRRRRRRRRRRR",
            "WWWWWRRWWWWW",
            "BBWWWRRWWWBB",
            "BWWBWRRWBWWB",
            "WWBBWRRWBBWW",
        },
        {{'B', opaque(1, 33, 105)}, {'W', kWhite}, {'R', opaque(200, 16, 46)}});
}

Image flagSpain() {
    // Red, yellow twice as tall, red; the arms as a small dark red block.
    return framedFlag(
        {
            "RRRRRRRRRRRR",
            "RRRRRRRRRRRR",
            "YYYYYYYYYYYY",
            "YYYAAYYYYYYY",
            "YYYAAYYYYYYY",
            "YYYAAYYYYYYY",
            "YYYYYYYYYYYY",
            "RRRRRRRRRRRR",
            "RRRRRRRRRRRR",
        },
        {{'R', opaque(198, 11, 30)}, {'Y', opaque(255, 196, 0)}, {'A', opaque(150, 40, 30)}});
}

Image flagFrance() {
    return framedFlag(
        {
            "BBBBWWWWRRRR",
            "BBBBWWWWRRRR",
            "BBBBWWWWRRRR",
            "BBBBWWWWRRRR",
            "BBBBWWWWRRRR",
            "BBBBWWWWRRRR",
            "BBBBWWWWRRRR",
            "BBBBWWWWRRRR",
            "BBBBWWWWRRRR",
        },
        {{'B', opaque(0, 35, 149)}, {'W', kWhite}, {'R', opaque(237, 41, 57)}});
}

Image flagItaly() {
    return framedFlag(
        {
            "GGGGWWWWRRRR",
            "GGGGWWWWRRRR",
            "GGGGWWWWRRRR",
            "GGGGWWWWRRRR",
            "GGGGWWWWRRRR",
            "GGGGWWWWRRRR",
            "GGGGWWWWRRRR",
            "GGGGWWWWRRRR",
            "GGGGWWWWRRRR",
        },
        {{'G', opaque(0, 146, 70)}, {'W', kWhite}, {'R', opaque(206, 43, 55)}});
}

Image flagJapan() {
    return framedFlag(
        {
            "WWWWWWWWWWWW",
            "WWWWWWWWWWWW",
            "WWWWRRRRWWWW",
            "WWWRRRRRRWWW",
            "WWWRRRRRRWWW",
            "WWWRRRRRRWWW",
            "WWWWRRRRWWWW",
            "WWWWWWWWWWWW",
            "WWWWWWWWWWWW",
        },
        {{'W', kWhite}, {'R', opaque(188, 0, 45)}});
}

// --- The 64 x 64 cartridge -----------------------------------------------------

// A rounded rectangle covering [x0, x1) x [y0, y1) in pixels, with corners of
// the given radius (a square with radius = half its side is a disc); or, made
// by stroke(), a straight line from (x0, y0) to (x1, y1) with round ends.
struct Shape {
    int x0, y0, x1, y1, radius;
    Rgba colour;
    int halfWidth = 0;  // in eighths of a pixel; a stroke when not 0

    // (sx, sy) in eighths of a pixel.
    bool contains(int sx, int sy) const {
        if (halfWidth != 0) return nearLine(sx, sy);
        const int left = 8 * x0, top = 8 * y0, right = 8 * x1, bottom = 8 * y1, r = 8 * radius;
        if (sx < left || sx >= right || sy < top || sy >= bottom) return false;
        const int cx = std::clamp(sx, left + r, right - r);
        const int cy = std::clamp(sy, top + r, bottom - r);
        const int dx = sx - cx, dy = sy - cy;
        return dx * dx + dy * dy <= r * r;
    }

    // Whether the sample lies within halfWidth of the segment, in integers:
    // the squared distance to the nearer end, or to the line itself when the
    // foot of the perpendicular falls between the ends.
    bool nearLine(int sx, int sy) const {
        const std::int64_t ax = 8 * x0, ay = 8 * y0, dx = 8 * (x1 - x0), dy = 8 * (y1 - y0);
        const std::int64_t px = sx - ax, py = sy - ay, w = halfWidth;
        const std::int64_t along = px * dx + py * dy, length2 = dx * dx + dy * dy;
        if (along <= 0 || length2 == 0) return px * px + py * py <= w * w;
        if (along >= length2) return (px - dx) * (px - dx) + (py - dy) * (py - dy) <= w * w;
        const std::int64_t across = px * dy - py * dx;
        return across * across <= w * w * length2;
    }
};

Shape stroke(int x0, int y0, int x1, int y1, int halfWidth, Rgba colour) { return Shape{x0, y0, x1, y1, 0, colour, halfWidth}; }

// Later shapes lie on top. Each pixel takes 4 x 4 samples at odd eighths, so
// no sample ever falls on a shape's edge; the coverage sets the alpha and the
// covered samples' colours are averaged with rounding.
Image render(int width, int height, const std::vector<Shape>& shapes) {
    Image image(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int covered = 0, r = 0, g = 0, b = 0;
            for (int j = 0; j < 4; ++j) {
                for (int i = 0; i < 4; ++i) {
                    const int sx = 8 * x + 2 * i + 1, sy = 8 * y + 2 * j + 1;
                    for (auto s = shapes.rbegin(); s != shapes.rend(); ++s) {
                        if (s->contains(sx, sy)) {
                            ++covered;
                            r += s->colour.r;
                            g += s->colour.g;
                            b += s->colour.b;
                            break;
                        }
                    }
                }
            }
            if (covered == 0) continue;
            const auto average = [covered](int sum) { return static_cast<std::uint8_t>((sum + covered / 2) / covered); };
            image.at(x, y) = Rgba{average(r), average(g), average(b), static_cast<std::uint8_t>((covered * 255 + 8) / 16)};
        }
    }
    return image;
}

Image cartridge64() {
    std::vector<Shape> shapes = {
        {6, 3, 58, 61, 7, kCardOutline},                                  // the card, 52 x 58, with its outline
        {8, 5, 56, 59, 5, kCardShade},                                    // right and bottom shading
        {8, 5, 55, 58, 5, kCardBody},    {8, 5, 55, 15, 5, kCardLight},   // the grip ridge along the top
        {8, 10, 55, 15, 0, kCardLight},  {14, 8, 50, 9, 0, kCardShade},   // its grooves
        {14, 11, 50, 12, 0, kCardShade}, {8, 15, 55, 16, 0, kCardShade},  // its lower edge
        {11, 19, 53, 50, 3, kCardShade},                                  // the label's recess
        {12, 20, 52, 49, 2, kLabel},                                      // the label
        {15, 23, 49, 32, 1, kLabelBand}, {15, 36, 39, 39, 1, kLabelText},
        {15, 42, 33, 45, 1, kLabelText}, {40, 35, 48, 43, 4, kLabelLogo},
    };
    // Eight contacts along the bottom edge, centred on the card.
    for (int i = 0; i < 8; ++i) {
        const int x = 13 + 5 * i;
        shapes.push_back({x - 1, 51, x + 4, 57, 0, kContactGap});
        shapes.push_back({x, 52, x + 3, 57, 0, kContact});
    }
    return render(64, 64, shapes);
}

// --- The program's icon ---------------------------------------------------------

// The command program: a game card with a console window in front of it, the
// window of its log.
constexpr Rgba kWindowFrame = opaque(72, 76, 86);
constexpr Rgba kWindowTitle = opaque(40, 96, 200);
constexpr Rgba kWindowButton = opaque(206, 220, 244);
constexpr Rgba kScreen = opaque(20, 24, 30);
constexpr Rgba kPrompt = opaque(96, 224, 120);

Image program16() {
    std::vector<Ink> inks = kCardInks;
    inks.insert(inks.end(), {{'o', kWindowFrame}, {'n', kWindowTitle}, {'c', kScreen}, {'p', kPrompt}});
    return fromArt(
        {
            ".kkkkkkkkkk.....",
            "khhhhhhhhhhk....",
            "khsssssssssk....",
            "khggggggggsk....",
            "khwwwwwwwwsk....",
            "khwbbbbbbwsk....",
            "khwbbbbbbwsk....",
            "khwwwwoooooooooo",
            "khwtttonnnnnnnno",
            "khwwwwocccccccco",
            "khggggocpcccccco",
            "khgydyoccpccccco",
            "khgydyocpcpppcco",
            ".kkkkkocccccccco",
            "......oooooooooo",
            "................",
        },
        inks);
}

Image program64() {
    std::vector<Shape> shapes = {
        // The card, smaller than the file icon's and towards the top left.
        {2, 2, 46, 54, 6, kCardOutline}, {4, 4, 44, 52, 4, kCardShade},   {4, 4, 43, 51, 4, kCardBody},
        {4, 4, 43, 13, 4, kCardLight},   {4, 8, 43, 13, 0, kCardLight},   {9, 6, 39, 7, 0, kCardShade},
        {9, 9, 39, 10, 0, kCardShade},   {4, 13, 43, 14, 0, kCardShade},  {7, 17, 41, 42, 3, kCardShade},
        {8, 18, 40, 41, 2, kLabel},      {11, 21, 37, 29, 1, kLabelBand}, {11, 33, 22, 36, 1, kLabelText},
    };
    for (int i = 0; i < 7; ++i) {
        const int x = 8 + 5 * i;
        shapes.push_back({x - 1, 44, x + 4, 50, 0, kContactGap});
        shapes.push_back({x, 45, x + 3, 50, 0, kContact});
    }
    // The console window in front, bottom right: frame, title bar with its
    // close button, the screen with a prompt and the cursor.
    const std::vector<Shape> window = {
        {23, 29, 63, 62, 3, kWindowFrame},   {25, 31, 61, 38, 2, kWindowTitle}, {25, 35, 61, 38, 0, kWindowTitle},
        {54, 33, 59, 37, 1, kWindowButton},  {25, 39, 61, 60, 1, kScreen},      stroke(31, 44, 38, 49, 12, kPrompt),
        stroke(38, 49, 31, 54, 12, kPrompt), {42, 52, 51, 55, 0, kPrompt},
    };
    shapes.insert(shapes.end(), window.begin(), window.end());
    return render(64, 64, shapes);
}

// --- .ico encoding -----------------------------------------------------------

using Bytes = std::vector<std::uint8_t>;

void put8(Bytes& out, unsigned v) { out.push_back(static_cast<std::uint8_t>(v)); }
void put16(Bytes& out, unsigned v) {
    put8(out, v & 0xFFu);
    put8(out, (v >> 8) & 0xFFu);
}
void put32(Bytes& out, std::uint32_t v) {
    put16(out, v & 0xFFFFu);
    put16(out, v >> 16);
}

int rowBytes(int width, int bits) { return (width * bits + 31) / 32 * 4; }

struct Entry {
    Image image;
    int bits;  // 8, 24 or 32
};

// Images without alpha (8 and 24 bits) show a pixel when its alpha is at least
// half; the AND mask hides the others. A 32-bit image hides exactly the fully
// transparent pixels.
bool hidden(const Rgba& p, int bits) { return bits == 32 ? p.a == 0 : p.a < 128; }

Bytes encodeImage(const Image& image, int bits) {
    if (bits != 8 && bits != 24 && bits != 32) throw std::runtime_error("unsupported colour depth");
    const int w = image.width, h = image.height;

    // 8-bit palette: black first (shown by hidden pixels), then the colours in
    // the order they first appear.
    std::vector<Rgba> palette;
    if (bits == 8) {
        palette.push_back(opaque(0, 0, 0));
        for (const Rgba& p : image.pixels) {
            if (hidden(p, bits)) continue;
            if (std::none_of(palette.begin(), palette.end(), [&p](const Rgba& c) { return sameColour(c, p); }))
                palette.push_back(p);
        }
        if (palette.size() > 256) throw std::runtime_error("more than 256 colours in an 8-bit image");
    }

    const int colourStride = rowBytes(w, bits), maskStride = rowBytes(w, 1);
    const std::uint32_t bitmapSize = static_cast<std::uint32_t>((colourStride + maskStride) * h);

    Bytes out;
    put32(out, 40);                                 // biSize
    put32(out, static_cast<std::uint32_t>(w));      // biWidth
    put32(out, static_cast<std::uint32_t>(2 * h));  // biHeight: colour bitmap and mask
    put16(out, 1);                                  // biPlanes
    put16(out, static_cast<unsigned>(bits));        // biBitCount
    put32(out, 0);                                  // biCompression: BI_RGB
    put32(out, bitmapSize);                         // biSizeImage
    put32(out, 0);                                  // biXPelsPerMeter
    put32(out, 0);                                  // biYPelsPerMeter
    put32(out, 0);                                  // biClrUsed: all 2^bits
    put32(out, 0);                                  // biClrImportant

    if (bits == 8) {
        for (int i = 0; i < 256; ++i) {
            const Rgba c = i < static_cast<int>(palette.size()) ? palette[static_cast<std::size_t>(i)] : kClear;
            put8(out, c.b);
            put8(out, c.g);
            put8(out, c.r);
            put8(out, 0);
        }
    }

    for (int y = h - 1; y >= 0; --y) {
        const std::size_t rowStart = out.size();
        for (int x = 0; x < w; ++x) {
            const Rgba& p = image.at(x, y);
            const bool off = hidden(p, bits);
            if (bits == 8) {
                const auto index =
                    off ? palette.begin()
                        : std::find_if(palette.begin(), palette.end(), [&p](const Rgba& c) { return sameColour(c, p); });
                put8(out, static_cast<unsigned>(index - palette.begin()));
            } else {
                put8(out, off ? 0 : p.b);
                put8(out, off ? 0 : p.g);
                put8(out, off ? 0 : p.r);
                if (bits == 32) put8(out, p.a);
            }
        }
        out.resize(rowStart + static_cast<std::size_t>(colourStride), 0);
    }

    for (int y = h - 1; y >= 0; --y) {
        Bytes row(static_cast<std::size_t>(maskStride), 0);
        for (int x = 0; x < w; ++x)
            if (hidden(image.at(x, y), bits)) row[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80u >> (x % 8));
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

Bytes encodeIco(const std::vector<Entry>& entries) {
    std::vector<Bytes> images;
    for (const Entry& e : entries) {
        if (e.image.width < 1 || e.image.width > 256 || e.image.height < 1 || e.image.height > 256)
            throw std::runtime_error("icon images are 1 to 256 pixels wide and high");
        images.push_back(encodeImage(e.image, e.bits));
    }

    Bytes out;
    put16(out, 0);  // reserved
    put16(out, 1);  // type: icon
    put16(out, static_cast<unsigned>(entries.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        put8(out, static_cast<unsigned>(e.image.width) & 0xFFu);  // 256 is written as 0
        put8(out, static_cast<unsigned>(e.image.height) & 0xFFu);
        put8(out, 0);   // colour count: 0 for 8 bits and more
        put8(out, 0);   // reserved
        put16(out, 1);  // planes
        put16(out, static_cast<unsigned>(e.bits));
        put32(out, static_cast<std::uint32_t>(images[i].size()));
        put32(out, offset);
        offset += static_cast<std::uint32_t>(images[i].size());
    }
    for (const Bytes& image : images) out.insert(out.end(), image.begin(), image.end());
    return out;
}

void writeFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_icons <output folder>\n");
        return 2;
    }
    try {
        const std::filesystem::path folder = argv[1];
        std::filesystem::create_directories(folder);

        const Image card16 = cartridge16();
        const Image card64 = cartridge64();
        const Image prog16 = program16();
        struct Output {
            const char* name;
            std::vector<Entry> entries;
        };
        const std::vector<Output> outputs = {
            {"cartridge_208.ico", {{card16, 8}, {card16, 24}, {card16, 32}, {card64, 32}}},
            {"cartridge_214.ico", {{card16, 8}, {card16, 24}, {card16, 32}}},
            {"flag_215_german.ico", {{flagGermany(), 32}}},
            {"flag_216_english.ico", {{flagUnitedKingdom(), 32}}},
            {"flag_217_spanish.ico", {{flagSpain(), 32}}},
            {"flag_218_french.ico", {{flagFrance(), 32}}},
            {"flag_219_italian.ico", {{flagItaly(), 32}}},
            {"flag_220_japanese.ico", {{flagJapan(), 32}}},
            {"program_128.ico", {{prog16, 8}, {prog16, 24}, {program64(), 32}, {prog16, 32}}},
        };
        for (const Output& o : outputs) writeFile(folder / o.name, encodeIco(o.entries));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_icons: %s\n", e.what());
        return 1;
    }
    return 0;
}

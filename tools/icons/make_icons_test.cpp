// Runs make_icons into a temporary folder and reads back what it wrote with a
// .ico reader of its own: the layout of every file, the sizes and colour
// depths that Cartscope.dll and Cartscope CMD.exe carry, the pictures
// themselves, and the committed copies under shellext/resources/icons and
// cmd/resources/icons (found through CARTSCOPE_SOURCE_DIR).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#ifndef MAKE_ICONS_EXE
#error "MAKE_ICONS_EXE must name the make_icons program"
#endif

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes readBytes(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw std::runtime_error("cannot open " + path.string());
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string readText(const fs::path& path) {
    std::ifstream file(path);
    if (!file) throw std::runtime_error("cannot open " + path.string());
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string quoted(const std::string& s) { return "'" + s + "'"; }

// Exit status of make_icons with the given (already quoted) arguments.
int runTool(const std::string& arguments) {
    const std::string command = quoted(MAKE_ICONS_EXE) + (arguments.empty() ? "" : " " + arguments) + " 2>/dev/null";
    return std::system(command.c_str());
}

fs::path makeTempFolder() {
    std::random_device seed;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate = fs::temp_directory_path() / ("make_icons_test_" + std::to_string(seed()));
        if (fs::create_directory(candidate)) return candidate;
    }
    throw std::runtime_error("no temporary folder");
}

// --- A .ico reader -------------------------------------------------------------

struct Pixel {
    int r, g, b, a;
};

struct IconImage {
    int width = 0, height = 0, bits = 0;
    std::vector<Pixel> pixels;  // from the top; an 8- or 24-bit pixel has alpha 255
    std::vector<bool> masked;   // AND mask bit set

    const Pixel& at(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
    bool maskedAt(int x, int y) const { return masked[static_cast<std::size_t>(y * width + x)]; }
};

unsigned u8(const Bytes& d, std::size_t at) {
    if (at >= d.size()) throw std::runtime_error("read past the end at " + std::to_string(at));
    return d[at];
}
unsigned u16(const Bytes& d, std::size_t at) { return u8(d, at) | u8(d, at + 1) << 8; }
std::uint32_t u32(const Bytes& d, std::size_t at) { return u16(d, at) | static_cast<std::uint32_t>(u16(d, at + 2)) << 16; }

std::size_t stride(int width, int bits) { return static_cast<std::size_t>((width * bits + 31) / 32 * 4); }

// Reads every image of an icon file; throws on anything out of place.
std::vector<IconImage> readIco(const Bytes& d) {
    if (u16(d, 0) != 0 || u16(d, 2) != 1) throw std::runtime_error("not an icon file");
    const unsigned count = u16(d, 4);
    if (count == 0) throw std::runtime_error("no images");

    std::vector<IconImage> images;
    std::size_t expectedOffset = 6 + 16 * static_cast<std::size_t>(count);
    for (unsigned i = 0; i < count; ++i) {
        const std::size_t entry = 6 + 16 * static_cast<std::size_t>(i);
        IconImage image;
        image.width = u8(d, entry) == 0 ? 256 : static_cast<int>(u8(d, entry));
        image.height = u8(d, entry + 1) == 0 ? 256 : static_cast<int>(u8(d, entry + 1));
        image.bits = static_cast<int>(u16(d, entry + 6));
        const std::uint32_t size = u32(d, entry + 8);
        const std::uint32_t offset = u32(d, entry + 12);
        const std::string which = "image " + std::to_string(i) + ": ";
        if (u8(d, entry + 2) != 0 || u8(d, entry + 3) != 0 || u16(d, entry + 4) != 1)
            throw std::runtime_error(which + "colour count, reserved byte or planes wrong");
        if (image.bits != 8 && image.bits != 24 && image.bits != 32)
            throw std::runtime_error(which + "unexpected depth " + std::to_string(image.bits));
        // The images follow the directory in its order, without gaps or overlaps.
        if (offset != expectedOffset) throw std::runtime_error(which + "not where the previous one ends");
        expectedOffset += size;

        // BITMAPINFOHEADER
        const std::size_t h = offset;
        if (u32(d, h) != 40) throw std::runtime_error(which + "header size");
        if (u32(d, h + 4) != static_cast<std::uint32_t>(image.width)) throw std::runtime_error(which + "header width");
        if (u32(d, h + 8) != static_cast<std::uint32_t>(2 * image.height))
            throw std::runtime_error(which + "header height is not twice the image height");
        if (u16(d, h + 12) != 1 || u16(d, h + 14) != static_cast<unsigned>(image.bits))
            throw std::runtime_error(which + "header planes or depth differ from the directory");
        if (u32(d, h + 16) != 0) throw std::runtime_error(which + "compressed");
        const std::uint32_t coloursUsed = u32(d, h + 32);
        const std::size_t paletteSize = image.bits == 8 ? (coloursUsed == 0 ? 256 : coloursUsed) : 0;
        if (paletteSize > 256) throw std::runtime_error(which + "palette too large");

        const std::size_t palette = h + 40;
        const std::size_t colours = palette + 4 * paletteSize;
        const std::size_t colourStride = stride(image.width, image.bits);
        const std::size_t mask = colours + colourStride * static_cast<std::size_t>(image.height);
        const std::size_t end = mask + stride(image.width, 1) * static_cast<std::size_t>(image.height);
        if (end - offset != size) throw std::runtime_error(which + "size in the directory does not match its content");
        if (end > d.size()) throw std::runtime_error(which + "truncated");

        for (int y = 0; y < image.height; ++y) {
            const std::size_t row = colours + colourStride * static_cast<std::size_t>(image.height - 1 - y);
            const std::size_t maskRow = mask + stride(image.width, 1) * static_cast<std::size_t>(image.height - 1 - y);
            for (int x = 0; x < image.width; ++x) {
                const auto ux = static_cast<std::size_t>(x);
                Pixel p{};
                if (image.bits == 8) {
                    const unsigned index = u8(d, row + ux);
                    if (index >= paletteSize) throw std::runtime_error(which + "index outside the palette");
                    const std::size_t c = palette + 4 * index;
                    p = {static_cast<int>(u8(d, c + 2)), static_cast<int>(u8(d, c + 1)), static_cast<int>(u8(d, c)), 255};
                } else {
                    const std::size_t c = row + ux * static_cast<std::size_t>(image.bits / 8);
                    p = {static_cast<int>(u8(d, c + 2)), static_cast<int>(u8(d, c + 1)), static_cast<int>(u8(d, c)),
                         image.bits == 32 ? static_cast<int>(u8(d, c + 3)) : 255};
                }
                image.pixels.push_back(p);
                image.masked.push_back((u8(d, maskRow + ux / 8) & (0x80u >> (ux % 8))) != 0);
            }
        }
        images.push_back(std::move(image));
    }
    if (expectedOffset != d.size()) throw std::runtime_error("bytes after the last image");
    return images;
}

// --- What the library and the program carry ------------------------------------

struct Layout {
    int size, bits;
};

// Where an icon file is kept and bound to its number.
struct Home {
    const char* folder;  // below the source folder; the icons are in its "icons"
    const char* script;  // the resource script in that folder
    const char* header;
};

constexpr Home kLibrary{"shellext/resources", "Cartscope.rc", "resource.h"};
constexpr Home kProgram{"cmd/resources", "cartscope_cmd.rc", "resource.h"};

struct IconFile {
    const char* name;
    int number;  // resource number in its module
    std::vector<Layout> images;
    Home home = kLibrary;
};

const std::vector<IconFile>& iconFiles() {
    static const std::vector<IconFile> files = {
        {"cartridge_208.ico", 208, {{16, 8}, {16, 24}, {16, 32}, {64, 32}}},
        {"cartridge_214.ico", 214, {{16, 8}, {16, 24}, {16, 32}}},
        {"flag_215_german.ico", 215, {{16, 32}}},
        {"flag_216_english.ico", 216, {{16, 32}}},
        {"flag_217_spanish.ico", 217, {{16, 32}}},
        {"flag_218_french.ico", 218, {{16, 32}}},
        {"flag_219_italian.ico", 219, {{16, 32}}},
        {"flag_220_japanese.ico", 220, {{16, 32}}},
        {"program_128.ico", 128, {{16, 8}, {16, 24}, {64, 32}, {16, 32}}, kProgram},
    };
    return files;
}

std::vector<IconFile> iconFilesOf(const Home& home) {
    std::vector<IconFile> files;
    for (const IconFile& file : iconFiles())
        if (std::string(file.home.folder) == home.folder) files.push_back(file);
    return files;
}

class GeneratedIcons : public testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = makeTempFolder();
        // A folder that does not exist yet: the tool makes it.
        folder_ = root_ / "out" / "icons";
        status_ = runTool(quoted(folder_.string()));
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    void SetUp() override { ASSERT_EQ(status_, 0) << "make_icons failed"; }

    static std::vector<IconImage> images(const std::string& name) { return readIco(readBytes(folder_ / name)); }

    static inline fs::path root_;
    static inline fs::path folder_;
    static inline int status_ = -1;
};

TEST_F(GeneratedIcons, WritesExactlyTheIconFilesOfLibraryAndProgram) {
    std::set<std::string> written, expected;
    for (const auto& entry : fs::directory_iterator(folder_)) written.insert(entry.path().filename().string());
    for (const IconFile& file : iconFiles()) expected.insert(file.name);
    EXPECT_EQ(written, expected);
}

TEST_F(GeneratedIcons, EachFileHoldsTheListedSizesAndDepths) {
    for (const IconFile& file : iconFiles()) {
        SCOPED_TRACE(file.name);
        std::vector<IconImage> read;
        ASSERT_NO_THROW(read = images(file.name));
        ASSERT_EQ(read.size(), file.images.size());
        for (std::size_t i = 0; i < read.size(); ++i) {
            EXPECT_EQ(read[i].width, file.images[i].size) << "image " << i;
            EXPECT_EQ(read[i].height, file.images[i].size) << "image " << i;
            EXPECT_EQ(read[i].bits, file.images[i].bits) << "image " << i;
        }
    }
}

TEST_F(GeneratedIcons, MaskHidesExactlyTheTransparentPixels) {
    for (const IconFile& file : iconFiles()) {
        const std::vector<IconImage> read = images(file.name);
        for (std::size_t i = 0; i < read.size(); ++i) {
            SCOPED_TRACE(std::string(file.name) + " image " + std::to_string(i));
            const IconImage& image = read[i];
            int hidden = 0, shown = 0;
            for (int y = 0; y < image.height; ++y) {
                for (int x = 0; x < image.width; ++x) {
                    const Pixel& p = image.at(x, y);
                    if (image.maskedAt(x, y)) {
                        ++hidden;
                        // A hidden pixel must be black (and clear), or the screen
                        // below it would show through inverted.
                        EXPECT_TRUE(p.r == 0 && p.g == 0 && p.b == 0) << "at " << x << "," << y;
                        if (image.bits == 32) {
                            EXPECT_EQ(p.a, 0) << "at " << x << "," << y;
                        }
                    } else {
                        ++shown;
                        if (image.bits == 32) {
                            EXPECT_NE(p.a, 0) << "at " << x << "," << y;
                        }
                    }
                }
            }
            EXPECT_GT(hidden, 0);
            EXPECT_GT(shown, image.width * image.height / 2);
        }
    }
}

// Every 16 x 16 image in `images` shows the same picture as `reference`:
// the same shown pixels in the same colours, fully opaque where shown.
void expectSamePicture(const std::vector<IconImage>& images, const IconImage& reference) {
    for (std::size_t i = 0; i < images.size(); ++i) {
        SCOPED_TRACE("16 x 16 image " + std::to_string(i));
        const IconImage& image = images[i];
        ASSERT_EQ(image.width, 16);
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                ASSERT_EQ(image.maskedAt(x, y), reference.maskedAt(x, y)) << "at " << x << "," << y;
                const Pixel& p = image.at(x, y);
                const Pixel& q = reference.at(x, y);
                ASSERT_TRUE(p.r == q.r && p.g == q.g && p.b == q.b) << "at " << x << "," << y;
                // Without an alpha channel the pixels are either shown or hidden.
                if (!image.maskedAt(x, y)) {
                    ASSERT_EQ(q.a, 255) << "at " << x << "," << y;
                }
            }
        }
    }
}

bool hasSmoothedEdges(const IconImage& image) {
    return std::any_of(image.pixels.begin(), image.pixels.end(), [](const Pixel& p) { return p.a > 0 && p.a < 255; });
}

TEST_F(GeneratedIcons, CartridgeLooksTheSameAtEveryDepth) {
    const std::vector<IconImage> fileIcon = images("cartridge_208.ico");
    const std::vector<IconImage> smallIcon = images("cartridge_214.ico");
    ASSERT_EQ(fileIcon.size(), 4u);
    ASSERT_EQ(smallIcon.size(), 3u);

    std::vector<IconImage> small16(fileIcon.begin(), fileIcon.begin() + 3);
    small16.insert(small16.end(), smallIcon.begin(), smallIcon.end());
    const IconImage& reference = fileIcon[2];  // 32-bit
    expectSamePicture(small16, reference);

    // A card with rounded corners: clear corners, a solid middle, and at 64 x 64
    // smoothed edges (some pixels partly transparent).
    for (const IconImage* image : {&reference, &fileIcon[3]}) {
        SCOPED_TRACE(std::to_string(image->width) + " x " + std::to_string(image->height));
        const int last = image->width - 1;
        for (const auto& [x, y] : std::vector<std::pair<int, int>>{{0, 0}, {last, 0}, {0, last}, {last, last}})
            EXPECT_EQ(image->at(x, y).a, 0) << "corner " << x << "," << y;
        EXPECT_EQ(image->at(image->width / 2, image->height / 2).a, 255);
    }
    EXPECT_TRUE(hasSmoothedEdges(fileIcon[3]));
}

// The program's icon: the card with a console window in front, bottom right.
TEST_F(GeneratedIcons, ProgramIconShowsACardWithAConsole) {
    const std::vector<IconImage> icon = images("program_128.ico");
    ASSERT_EQ(icon.size(), 4u);
    expectSamePicture({icon[0], icon[1], icon[3]}, icon[3]);

    const IconImage& large = icon[2];
    ASSERT_EQ(large.width, 64);
    EXPECT_TRUE(hasSmoothedEdges(large));
    for (const IconImage* image : {&icon[3], &large}) {
        SCOPED_TRACE(std::to_string(image->width) + " x " + std::to_string(image->height));
        const int n = image->width;
        // Top right is clear (beside the card, above the window), the card's
        // label is white, the window's screen dark, with a green prompt on it.
        EXPECT_EQ(image->at(n - 1, 0).a, 0);
        int white = 0;
        for (int y = 0; y < n / 2; ++y)
            for (int x = 0; x < n / 2; ++x) {
                const Pixel& p = image->at(x, y);
                if (p.a == 255 && p.r > 240 && p.g > 240 && p.b > 230) ++white;
            }
        EXPECT_GE(white, n * n / 64);
        int dark = 0, green = 0;
        for (int y = n * 10 / 16; y < n * 14 / 16; ++y)
            for (int x = n * 7 / 16; x < n * 15 / 16; ++x) {
                const Pixel& p = image->at(x, y);
                if (p.a == 255 && p.r < 40 && p.g < 40 && p.b < 40) ++dark;
                if (p.a == 255 && p.g > 180 && p.r < 140 && p.b < 160) ++green;
            }
        EXPECT_GT(dark, green);
        EXPECT_GT(green, 0);
    }
}

enum class Hue { Black, White, Red, Yellow, Blue, Green, Other };

Hue hueOf(const Pixel& p) {
    if (p.r < 64 && p.g < 64 && p.b < 64) return Hue::Black;
    if (p.r > 200 && p.g > 200 && p.b > 200) return Hue::White;
    if (p.r > 150 && p.g < 80 && p.b < 90) return Hue::Red;
    if (p.r > 200 && p.g > 150 && p.b < 80) return Hue::Yellow;
    if (p.b > 90 && p.r < 60 && p.g < 80) return Hue::Blue;
    if (p.g > 100 && p.r < 60 && p.b < 120) return Hue::Green;
    return Hue::Other;
}

const char* nameOf(Hue hue) {
    static const char* const names[] = {"black", "white", "red", "yellow", "blue", "green", "other"};
    return names[static_cast<int>(hue)];
}

// The flag's field (its fully opaque part), sampled at fractions of its size.
struct Field {
    int left = 16, top = 16, right = -1, bottom = -1;
    const IconImage* image = nullptr;

    explicit Field(const IconImage& i) : image(&i) {
        for (int y = 0; y < i.height; ++y)
            for (int x = 0; x < i.width; ++x)
                if (i.at(x, y).a == 255) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
    }
    // fx, fy in sixths of the field: 0 its left/top pixels, 3 the middle, 6 its right/bottom pixels.
    const char* at(int fx, int fy) const {
        const int x = left + (right - left) * fx / 6, y = top + (bottom - top) * fy / 6;
        return nameOf(hueOf(image->at(x, y)));
    }
    int count(Hue hue) const {
        return static_cast<int>(std::count_if(image->pixels.begin(), image->pixels.end(),
                                              [hue](const Pixel& p) { return p.a == 255 && hueOf(p) == hue; }));
    }
};

// The context menu shows each banner language with the flag of its number:
// 215 German, 216 English, 217 Spanish, 218 French, 219 Italian, 220 Japanese.
TEST_F(GeneratedIcons, FlagsShowTheirCountries) {
    const auto field = [](const char* name) {
        static std::map<std::string, IconImage> cache;
        auto found = cache.find(name);
        if (found == cache.end()) found = cache.emplace(name, images(name).at(0)).first;
        return Field(found->second);
    };

    const Field german = field("flag_215_german.ico");
    EXPECT_STREQ(german.at(3, 0), "black");
    EXPECT_STREQ(german.at(3, 3), "red");
    EXPECT_STREQ(german.at(3, 6), "yellow");

    const Field english = field("flag_216_english.ico");
    EXPECT_STREQ(english.at(3, 3), "red");
    EXPECT_STREQ(english.at(0, 3), "red");
    EXPECT_STREQ(english.at(3, 0), "red");
    EXPECT_GE(english.count(Hue::Blue), 12);
    EXPECT_GE(english.count(Hue::White), 12);

    const Field spanish = field("flag_217_spanish.ico");
    EXPECT_STREQ(spanish.at(3, 0), "red");
    EXPECT_STREQ(spanish.at(5, 3), "yellow");
    EXPECT_STREQ(spanish.at(3, 6), "red");
    EXPECT_GT(spanish.count(Hue::Yellow), spanish.count(Hue::Red));

    const Field french = field("flag_218_french.ico");
    EXPECT_STREQ(french.at(0, 3), "blue");
    EXPECT_STREQ(french.at(3, 3), "white");
    EXPECT_STREQ(french.at(6, 3), "red");

    const Field italian = field("flag_219_italian.ico");
    EXPECT_STREQ(italian.at(0, 3), "green");
    EXPECT_STREQ(italian.at(3, 3), "white");
    EXPECT_STREQ(italian.at(6, 3), "red");

    const Field japanese = field("flag_220_japanese.ico");
    EXPECT_STREQ(japanese.at(3, 3), "red");
    for (const auto& [fx, fy] : std::vector<std::pair<int, int>>{{0, 0}, {6, 0}, {0, 6}, {6, 6}})
        EXPECT_STREQ(japanese.at(fx, fy), "white") << fx << "," << fy;

    // Each flag is a picture with a field of its own, not a copy of another.
    std::set<std::vector<int>> distinct;
    for (const char* name : {"flag_215_german.ico", "flag_216_english.ico", "flag_217_spanish.ico", "flag_218_french.ico",
                             "flag_219_italian.ico", "flag_220_japanese.ico"}) {
        const IconImage flag = images(name).at(0);
        std::vector<int> values;
        for (const Pixel& p : flag.pixels) values.insert(values.end(), {p.r, p.g, p.b, p.a});
        distinct.insert(values);
    }
    EXPECT_EQ(distinct.size(), 6u);
}

// --- The committed icons ----------------------------------------------------------

fs::path sourceDir() {
    const char* dir = std::getenv("CARTSCOPE_SOURCE_DIR");
    return dir == nullptr || *dir == '\0' ? fs::path() : fs::path(dir);
}

TEST_F(GeneratedIcons, CommittedIconsAreTheToolsOutput) {
    const fs::path source = sourceDir();
    if (source.empty()) GTEST_SKIP() << "CARTSCOPE_SOURCE_DIR is not set";
    for (const Home& home : {kLibrary, kProgram}) {
        const fs::path committed = source / home.folder / "icons";
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(committed))
            if (entry.path().extension() == ".ico") names.insert(entry.path().filename().string());
        std::set<std::string> expected;
        for (const IconFile& file : iconFilesOf(home)) expected.insert(file.name);
        EXPECT_EQ(names, expected) << "stale or missing icons in " << committed;

        for (const IconFile& file : iconFilesOf(home)) {
            SCOPED_TRACE(file.name);
            if (!fs::exists(committed / file.name)) continue;
            const Bytes fresh = readBytes(folder_ / file.name);
            const Bytes kept = readBytes(committed / file.name);
            EXPECT_TRUE(fresh == kept) << "run make_icons and keep its output in " << committed;
        }
    }
}

void expectBoundIcons(const fs::path& resources, const Home& home) {
    std::map<std::string, int> numbers;
    std::istringstream header(readText(resources / home.header));
    for (std::string line; std::getline(header, line);) {
        std::istringstream words(line);
        std::string directive, name, value;
        if (words >> directive >> name >> value && directive == "#define" &&
            value.find_first_not_of("0123456789") == std::string::npos)
            numbers[name] = std::stoi(value);
    }

    std::vector<std::pair<int, std::string>> bound;  // in script order
    std::istringstream script(readText(resources / home.script));
    const std::string folder = "\"icons/";
    for (std::string line; std::getline(script, line);) {
        std::istringstream words(line);
        std::string id, type, file;
        if (!(words >> id >> type >> file) || type != "ICON") continue;
        ASSERT_EQ(file.rfind(folder, 0), 0u) << line;
        ASSERT_EQ(file.back(), '"') << line;
        const auto named = numbers.find(id);
        ASSERT_TRUE(named != numbers.end() || id.find_first_not_of("0123456789") == std::string::npos) << line;
        bound.emplace_back(named != numbers.end() ? named->second : std::stoi(id),
                           file.substr(folder.size(), file.size() - folder.size() - 1));
    }

    std::vector<std::pair<int, std::string>> expected;
    for (const IconFile& file : iconFilesOf(home)) expected.emplace_back(file.number, file.name);
    EXPECT_EQ(bound, expected);
}

// Each resource script must bind every icon file to the resource number in
// its name, with the icon groups in ascending number (in Cartscope.rc 208
// first, 214 second).
TEST(IconResources, ResourceScriptsBindEachIconToItsNumber) {
    const fs::path source = sourceDir();
    if (source.empty()) GTEST_SKIP() << "CARTSCOPE_SOURCE_DIR is not set";
    for (const Home& home : {kLibrary, kProgram}) {
        SCOPED_TRACE(home.script);
        expectBoundIcons(source / home.folder, home);
    }
}

// --- The program itself --------------------------------------------------------------

TEST(MakeIconsTool, WantsExactlyOneFolder) {
    EXPECT_NE(runTool(""), 0);
    const fs::path root = makeTempFolder();
    EXPECT_NE(runTool(quoted((root / "a").string()) + " " + quoted((root / "b").string())), 0);
    EXPECT_TRUE(fs::is_empty(root));
    fs::remove_all(root);
}

TEST(MakeIconsTool, FailsWhenTheFolderCannotBeMade) {
    const fs::path root = makeTempFolder();
    std::ofstream(root / "file") << "not a folder";
    EXPECT_NE(runTool(quoted((root / "file" / "icons").string())), 0);
    fs::remove_all(root);
}

}  // namespace

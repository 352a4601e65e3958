#include "cli/png_writer.h"

#include <algorithm>
#include <array>
#include <csetjmp>
#include <dlfcn.h>
#include <new>
#include <vector>

#include <png.h>

namespace cartscope::cli {

namespace {

// libpng is loaded when the first picture is written, not when the program
// starts: info, trim and untrim, which file managers and batches start once a
// file, never write one, and loading libpng (and the maths library it needs)
// would be a good part of their start-up. The functions are the ones of the
// libpng the program is built against, called under their own types.
// clang-format off
#define CARTSCOPE_PNG_FUNCTIONS(X)                                                      \
    X(png_create_write_struct) X(png_create_info_struct) X(png_destroy_write_struct)  \
    X(png_set_longjmp_fn) X(png_set_write_fn) X(png_get_io_ptr) X(png_error)          \
    X(png_set_filter) X(png_set_compression_mem_level) X(png_set_IHDR)                \
    X(png_set_PLTE) X(png_set_tRNS) X(png_write_info) X(png_write_row) X(png_write_end)
// clang-format on

struct Libpng {
#define CARTSCOPE_PNG_MEMBER(name) decltype(&::name) name = nullptr;
    CARTSCOPE_PNG_FUNCTIONS(CARTSCOPE_PNG_MEMBER)
#undef CARTSCOPE_PNG_MEMBER
};

#define CARTSCOPE_TEXT(x) #x
#define CARTSCOPE_SONAME(number) "libpng" CARTSCOPE_TEXT(number) ".so." CARTSCOPE_TEXT(number)
constexpr const char* kLibpngName = CARTSCOPE_SONAME(PNG_LIBPNG_VER_SONUM);

// The loaded library's functions (loaded once, kept for the process), or
// nullptr with the reason in `error`.
const Libpng* libpng(std::string& error) {
    static std::string failure;
    static const Libpng* const loaded = []() -> const Libpng* {
        static Libpng functions;
        void* library = dlopen(kLibpngName, RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            failure = std::string("cannot load ") + kLibpngName + ": " + dlerror();
            return nullptr;
        }
#define CARTSCOPE_PNG_RESOLVE(name)                                              \
    functions.name = reinterpret_cast<decltype(&::name)>(dlsym(library, #name)); \
    if (!functions.name) {                                                       \
        failure = std::string(kLibpngName) + " has no " #name;                   \
        return nullptr;                                                          \
    }
        CARTSCOPE_PNG_FUNCTIONS(CARTSCOPE_PNG_RESOLVE)
#undef CARTSCOPE_PNG_RESOLVE
        return &functions;
    }();
    if (!loaded) error = failure;
    return loaded;
}

struct PngWrite {
    const Libpng& lib;
    png_structp png = nullptr;
    png_infop info = nullptr;
    explicit PngWrite(const Libpng& library) : lib(library) {}
    ~PngWrite() { lib.png_destroy_write_struct(&png, &info); }
};

// libpng's output: appended to the vector.
void appendBytes(png_structp png, png_bytep data, png_size_t length) {
    std::string loaded;  // it is: this is called from it
    const Libpng& lib = *libpng(loaded);
    auto* out = static_cast<std::vector<std::uint8_t>*>(lib.png_get_io_ptr(png));
    bool failed = false;
    try {
        out->insert(out->end(), data, data + length);
    } catch (const std::bad_alloc&) {
        failed = true;
    }
    if (failed) lib.png_error(png, "out of memory");
}

void flushNothing(png_structp) {}

}  // namespace

namespace {

// What is written: rows of palette indices (4 bits a pixel) or of RGBA.
struct Picture {
    std::size_t side = 0;
    std::size_t rowBytes = 0;
    std::vector<std::uint32_t> colours;  // the palette; empty for RGBA
    std::vector<png_byte> rows;
};

// A banner icon has 16 colours (one of them transparent): its picture gets a
// palette of the colours it uses, at 4 bits a pixel, so that zlib has an
// eighth of the bytes of RGBA to compress. Other icons (more than 16 colours)
// are written as RGBA.
Picture makePicture(const IconPixels& icon, std::size_t side) {
    Picture picture;
    picture.side = side;
    std::array<png_byte, kIconSide * kIconSide> indices{};
    std::size_t last = 0;  // pixel art repeats its colours: the last one first
    for (std::size_t i = 0; i < icon.size(); ++i) {
        auto& colours = picture.colours;
        if (last < colours.size() && colours[last] == icon[i]) {
            indices[i] = static_cast<png_byte>(last);
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
        indices[i] = static_cast<png_byte>(last);
    }
    const bool paletted = !picture.colours.empty();
    picture.rowBytes = paletted ? (side + 1) / 2 : side * 4;
    picture.rows.resize(picture.rowBytes * side);
    for (std::size_t y = 0; y < side; ++y) {
        png_byte* row = &picture.rows[y * picture.rowBytes];
        const std::size_t from = (y * kIconSide / side) * kIconSide;
        for (std::size_t x = 0; x < side; ++x) {
            const std::size_t pixel = from + x * kIconSide / side;
            if (paletted) {
                row[x / 2] = static_cast<png_byte>(row[x / 2] | indices[pixel] << (x % 2 == 0 ? 4 : 0));
                continue;
            }
            const std::uint32_t argb = icon[pixel];
            png_byte* p = &row[x * 4];
            p[0] = static_cast<png_byte>(argb >> 16);
            p[1] = static_cast<png_byte>(argb >> 8);
            p[2] = static_cast<png_byte>(argb);
            p[3] = static_cast<png_byte>(argb >> 24);
        }
    }
    return picture;
}

std::string writePng(const Picture& picture, std::vector<std::uint8_t>& png) {
    std::string error;
    const Libpng* loaded = libpng(error);
    if (!loaded) return error;
    const Libpng& lib = *loaded;
    PngWrite w(lib);
    w.png = lib.png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!w.png) return "out of memory";
    w.info = lib.png_create_info_struct(w.png);
    if (!w.info) return "out of memory";
    // png_jmpbuf, spelt out: the macro names the linked function.
    if (setjmp(*lib.png_set_longjmp_fn(w.png, std::longjmp, sizeof(std::jmp_buf)))) return "cannot write the PNG data";

    lib.png_set_write_fn(w.png, &png, appendBytes, flushNothing);
    // Pixel art: rows without a filter compress better than with the filter
    // libpng would choose for each row (and it need not try five on each), and
    // a smaller hash table than zlib's default compresses an icon or a
    // thumbnail as well, touching less memory.
    lib.png_set_filter(w.png, 0, PNG_FILTER_NONE);
    lib.png_set_compression_mem_level(w.png, 4);
    const auto side = static_cast<png_uint_32>(picture.side);
    const int count = static_cast<int>(picture.colours.size());
    lib.png_set_IHDR(w.png, w.info, side, side, count > 0 ? 4 : 8, count > 0 ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGBA,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (count > 0) {
        std::array<png_color, 16> palette{};
        std::array<png_byte, 16> alpha{};
        for (int i = 0; i < count; ++i) {
            const std::uint32_t argb = picture.colours[static_cast<std::size_t>(i)];
            palette[static_cast<std::size_t>(i)] = {static_cast<png_byte>(argb >> 16), static_cast<png_byte>(argb >> 8),
                                                    static_cast<png_byte>(argb)};
            alpha[static_cast<std::size_t>(i)] = static_cast<png_byte>(argb >> 24);
        }
        lib.png_set_PLTE(w.png, w.info, palette.data(), count);
        lib.png_set_tRNS(w.png, w.info, alpha.data(), count, nullptr);
    }
    lib.png_write_info(w.png, w.info);
    for (std::size_t y = 0; y < picture.side; ++y) lib.png_write_row(w.png, &picture.rows[y * picture.rowBytes]);
    lib.png_write_end(w.png, nullptr);
    return {};
}

}  // namespace

std::string encodeIconPng(const IconPixels& icon, int size, std::vector<std::uint8_t>& png) {
    png.clear();
    return writePng(makePicture(icon, static_cast<std::size_t>(size)), png);
}

}  // namespace cartscope::cli

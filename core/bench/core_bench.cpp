// What the ROM core costs, each next to a yardstick measured in the same run:
//  - CRC-32 of a 256 MiB buffer against zlib's crc32 on the same buffer;
//  - RomInfo::load with ReadBanner over 2,000 small ROM files against a bare
//    loop that opens each file, reads the same 512 + 0x840 bytes and closes it,
//    and against the same loop with the checks every open of the core makes
//    (the path's type before the open, so that no device is opened; the open
//    file's type and identity after it);
//  - 100,000 release-database lookups of random game codes in 7,000 releases
//    against the bare file work one lookup needs (two opens: the header, then
//    the record's length and text).
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstring>
#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/crc.h"
#include "core/release_database.h"
#include "core/tests/support/rom_builder.h"
#include "core/rom_info.h"
#include "core/tests/support/temp_dir.h"
#include "core/text.h"

namespace {

const std::vector<unsigned char>& bigBuffer() {
    static const std::vector<unsigned char> buffer = [] {
        std::vector<unsigned char> b(256u << 20);
        std::mt19937_64 random(42);
        for (std::size_t i = 0; i < b.size(); i += 8) {
            const std::uint64_t v = random();
            std::memcpy(&b[i], &v, 8);
        }
        return b;
    }();
    return buffer;
}

void Crc32_Cartscope(benchmark::State& state) {
    const auto& b = bigBuffer();
    for (auto _ : state) benchmark::DoNotOptimize(cartscope::crc32(b.data(), b.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * b.size()));
}

void Crc32_Zlib(benchmark::State& state) {
    const auto& b = bigBuffer();
    for (auto _ : state) {
        // zlib takes at most 4 GiB a call; 256 MiB fits one.
        benchmark::DoNotOptimize(crc32(0L, b.data(), static_cast<uInt>(b.size())));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * b.size()));
}

constexpr int kRomFiles = 2000;

// 2,000 small ROM files with banners, made once for the run.
struct RomFolder {
    cartscope::testing::TempDir dir;
    std::vector<std::u16string> wide;
    std::vector<std::string> narrow;
    RomFolder() {
        cartscope::testing::RomSpec card;
        card.usedSize = 0x6000;
        card.bannerOffset = 0x4000;
        for (int i = 0; i < kRomFiles; ++i) {
            card.gameCode = "B" + std::to_string(100 + i % 900);
            const auto path = dir.path() / ("rom" + std::to_string(i) + ".nds");
            cartscope::testing::writeFile(path, cartscope::testing::buildRom(card));
            wide.push_back(path.u16string());
            narrow.push_back(path.string());
        }
    }
};

RomFolder& romFolder() {
    static RomFolder folder;
    return folder;
}

void Load_RomInfoReadBanner(benchmark::State& state) {
    auto& folder = romFolder();
    for (auto _ : state) {
        for (const auto& path : folder.wide) {
            cartscope::RomInfo rom;
            rom.load(path, cartscope::RomLoadFlags::ReadBanner);
            benchmark::DoNotOptimize(rom.bannerValid);
        }
    }
    state.SetItemsProcessed(state.iterations() * kRomFiles);
}

void Load_BareOpenReadClose(benchmark::State& state) {
    auto& folder = romFolder();
    unsigned char header[512];
    unsigned char banner[0x840];
    for (auto _ : state) {
        for (const auto& path : folder.narrow) {
            const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            benchmark::DoNotOptimize(::read(fd, header, sizeof header));
            benchmark::DoNotOptimize(::pread(fd, banner, sizeof banner, 0x4000));
            ::close(fd);
        }
    }
    state.SetItemsProcessed(state.iterations() * kRomFiles);
}

void Load_BareWithTheOpenChecks(benchmark::State& state) {
    auto& folder = romFolder();
    unsigned char header[512];
    unsigned char banner[0x840];
    struct stat st;
    for (auto _ : state) {
        for (const auto& path : folder.narrow) {
            if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
            const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
            benchmark::DoNotOptimize(::fstat(fd, &st));
            benchmark::DoNotOptimize(::pread(fd, header, sizeof header, 0));
            benchmark::DoNotOptimize(::pread(fd, banner, sizeof banner, 0x4000));
            ::close(fd);
        }
    }
    state.SetItemsProcessed(state.iterations() * kRomFiles);
}

constexpr int kReleases = 7000;
constexpr int kLookups = 100000;

// A database of 7,000 releases, and 100,000 game codes drawn from it at
// random (one in ten is not listed).
struct LookupSetup {
    cartscope::testing::TempDir dir;
    std::u16string path;
    std::string narrowPath;
    std::vector<std::string> codes;
    std::vector<std::uint32_t> offsets;  // the record each lookup reads, for the bare loop
    LookupSetup() {
        std::vector<cartscope::Release> releases;
        auto codeOf = [](int i) {
            std::string code;
            for (int k = 0; k < 4; ++k, i /= 26) code += static_cast<char>('A' + i % 26);
            return code;
        };
        for (int i = 0; i < kReleases; ++i) {
            cartscope::Release r;
            r.gameCode = codeOf(i * 3);
            r.fields = {"NTR-" + r.gameCode + "-EUR",
                        "A Game With A Name Of Usual Length",
                        "Europe",
                        "Adventure",
                        "Some Publisher",
                        "63",
                        "No",
                        std::to_string(i),
                        "GROUP",
                        "0123ABCD"};
            r.hasCrc = true;
            releases.push_back(r);
        }
        std::vector<std::uint8_t> bytes;
        cartscope::buildDatabase(1, releases, bytes);
        const auto file = dir.path() / "nds-rom.dat";
        cartscope::testing::writeFile(file, bytes);
        path = file.u16string();
        narrowPath = file.string();
        std::mt19937 random(5);
        for (int i = 0; i < kLookups; ++i) {
            const int pick = static_cast<int>(random() % (kReleases * 10 / 9));
            const std::string code = codeOf(pick < kReleases ? pick * 3 : pick * 3 + 1);
            codes.push_back(code);
            const auto found = std::find_if(releases.begin(), releases.end(), [&](const auto& r) { return r.gameCode == code; });
            offsets.push_back(found == releases.end() ? 0u : 8u);
        }
        // The bare loop reads a record of the usual size where a lookup finds one.
        std::uint32_t anyRecord = 0;
        std::memcpy(&anyRecord, &bytes[12], 4);
        for (auto& offset : offsets) offset = offset ? anyRecord : 0;
    }
};

LookupSetup& lookupSetup() {
    static LookupSetup setup;
    return setup;
}

void Database_Lookup(benchmark::State& state) {
    auto& setup = lookupSetup();
    cartscope::useDatabaseFile(setup.path);
    for (auto _ : state) {
        for (const auto& code : setup.codes) {
            const auto release = cartscope::lookUpRelease(code);
            benchmark::DoNotOptimize(release);
        }
    }
    cartscope::useDatabaseFile({});
    state.SetItemsProcessed(state.iterations() * kLookups);
}

void Database_BareFileWork(benchmark::State& state) {
    auto& setup = lookupSetup();
    unsigned char header[8];
    std::vector<unsigned char> record(32768);
    for (auto _ : state) {
        for (const std::uint32_t offset : setup.offsets) {
            int fd = ::open(setup.narrowPath.c_str(), O_RDONLY | O_CLOEXEC);
            benchmark::DoNotOptimize(::read(fd, header, sizeof header));
            ::close(fd);
            fd = ::open(setup.narrowPath.c_str(), O_RDONLY | O_CLOEXEC);
            if (offset != 0) {
                unsigned char length[2];
                benchmark::DoNotOptimize(::pread(fd, length, 2, offset));
                benchmark::DoNotOptimize(::pread(fd, record.data(), (length[0] | length[1] << 8) - 2u, offset + 2));
            }
            ::close(fd);
        }
    }
    state.SetItemsProcessed(state.iterations() * kLookups);
}

}  // namespace

BENCHMARK(Crc32_Cartscope)->Unit(benchmark::kMillisecond);
BENCHMARK(Crc32_Zlib)->Unit(benchmark::kMillisecond);
BENCHMARK(Load_RomInfoReadBanner)->Unit(benchmark::kMillisecond);
BENCHMARK(Load_BareOpenReadClose)->Unit(benchmark::kMillisecond);
BENCHMARK(Load_BareWithTheOpenChecks)->Unit(benchmark::kMillisecond);
BENCHMARK(Database_Lookup)->Unit(benchmark::kMillisecond);
BENCHMARK(Database_BareFileWork)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

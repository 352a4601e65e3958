// What the ROM core costs, each next to a yardstick measured in the same run:
//  - CRC-32 of a 256 MiB buffer against zlib's crc32 on the same buffer;
//  - RomInfo::load with ReadBanner over 2,000 small ROM files against a bare
//    loop that opens each file, reads the same 512 + 0x840 bytes and closes it.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "crc.h"
#include "rom_builder.h"
#include "rom_info.h"
#include "temp_dir.h"
#include "text.h"

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

}  // namespace

BENCHMARK(Crc32_Cartscope)->Unit(benchmark::kMillisecond);
BENCHMARK(Crc32_Zlib)->Unit(benchmark::kMillisecond);
BENCHMARK(Load_RomInfoReadBanner)->Unit(benchmark::kMillisecond);
BENCHMARK(Load_BareOpenReadClose)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

// Arbitrary database files and game codes: the input's first four bytes are
// the game code, the rest is the file. The per-process index cache is kept
// across inputs, so stale indexes meet new files too.
#include <cstdint>
#include <fstream>
#include <string>
#include <unistd.h>

#include "core/release_database.h"
#include "core/text.h"

using namespace cartscope;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    static const std::string path = "/tmp/cartscope-database-fuzz-" + std::to_string(getpid()) + ".dat";
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data + 4), static_cast<std::streamsize>(size - 4));
    }
    const std::u16string widePath = fromUtf8(path);
    useDatabaseFile(widePath);

    const std::string code(reinterpret_cast<const char*>(data), 4);
    volatile std::size_t sink = lookUpRelease(code) ? 1 : 0;
    sink = sink + (findRelease(widePath, code) ? 1 : 0);
    std::vector<Release> releases;
    std::uint16_t version = 0;
    sink = sink + readReleases(widePath, releases, version).size() + databaseVersion(widePath, true);
    (void)sink;
    return 0;
}

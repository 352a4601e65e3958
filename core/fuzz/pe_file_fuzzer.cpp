// Arbitrary bytes as a program or library file: the headers, the resource
// tree and the version blocks are read, the version chosen for a few user
// languages and its numbers taken as the updater takes them.
#include <cstdint>
#include <cstdlib>

#include "core/pe_file.h"

using namespace cartscope;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    for (const std::uint16_t user : {kEnglishUs, std::uint16_t{0x0407}, std::uint16_t{0x0411}}) {
        MemorySource source(data, size);
        PeFileInfo info;
        const std::string problem = readPeFile(source, info, user);
        // Each translation has its version text; nothing without a resource.
        if (info.fileVersions.size() != info.translations.size()) std::abort();
        if (!info.hasVersionResource && (!info.translations.empty() || info.fixedFileVersion)) std::abort();
        if (!problem.empty() && info.hasVersionResource) std::abort();
        for (const std::uint16_t language : {user, std::uint16_t{0}, std::uint16_t{0x040C}}) {
            const auto numbers = readVersionNumbers(info.fileVersionText(language));
            if (numbers && versionNumbersText(*numbers).empty()) std::abort();
        }
    }
    return 0;
}

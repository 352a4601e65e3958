// Writes small ROM images as the starting corpus of the ROM reader's fuzzer.
#include <cstdio>
#include <filesystem>

#include "rom_builder.h"

using cartscope::testing::RomSpec;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);

    RomSpec plain;
    plain.usedSize = 0x2000;
    plain.bannerOffset = 0x400;
    plain.fileSize = 0x2000;
    plain.titles = {u"ゲーム\nメーカー", u"Game\nMaker", u"Jeu", u"Spiel", u"Gioco", u"Juego"};
    for (int i = 0; i < 32 * 32; ++i) plain.icon[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i % 16);

    RomSpec dsi = plain;
    dsi.unitCode = 0x02;
    dsi.dsiUsedSize = 0x2800;
    dsi.fileSize = 0x2800;

    RomSpec noBanner = plain;
    noBanner.bannerOffset = 0;
    noBanner.fileSize = 0x600;

    RomSpec longTitles = plain;
    longTitles.titles[1] = std::u16string(128, u'W');

    int n = 0;
    for (const RomSpec* card : {&plain, &dsi, &noBanner, &longTitles}) {
        auto bytes = cartscope::testing::buildRom(*card);
        bytes.push_back(0);  // even last byte: the fuzzer keeps the checksums as they are
        cartscope::testing::writeFile(folder / ("seed" + std::to_string(n++)), bytes);
    }
    return 0;
}

// Writes the starting corpora of the fuzzers: small ROM images, release
// databases, rename patterns, PE files, each in a folder of its own under
// FOLDER.
#include <cstdio>
#include <filesystem>

#include "core/release_database.h"
#include "core/tests/support/pe_builder.h"
#include "core/tests/support/rom_builder.h"

using cartscope::testing::RomSpec;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds FOLDER\n");
        return 2;
    }
    const std::filesystem::path root = argv[1];
    const std::filesystem::path folder = root / "rom_load";
    for (const char* corpus : {"rom_load", "database", "rename_pattern", "pe_file"})
        std::filesystem::create_directories(root / corpus);

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

    // Databases: four bytes of game code, then the file.
    std::vector<cartscope::Release> releases;
    for (const char* code : {"AAAE", "BBBP", "CCCJ"}) {
        cartscope::Release release;
        release.gameCode = code;
        release.fields = {"NTR-X", "Name", "Europe", "Genre", "Publisher", "9", "No", "0001", "Group", "0123ABCD"};
        release.hasCrc = code[0] != 'B';
        releases.push_back(release);
    }
    std::vector<std::uint8_t> database;
    cartscope::buildDatabase(3, releases, database);
    for (const char* code : {"AAAE", "BBBP", "CCCJ", "ZZZZ"}) {
        std::vector<std::uint8_t> seed(code, code + 4);
        seed.insert(seed.end(), database.begin(), database.end());
        cartscope::testing::writeFile(root / "database" / code, seed);
    }

    // Patterns and titles.
    const char* patterns[] = {"[%N] %T(%R)\0Game\nMaker", "%T%S (trimmed)%s #%G##\0A/B: C?", "%Sa,b,c%s %%T\0Big -\nGame"};
    int p = 0;
    for (const char* pattern : patterns) {
        const std::string text(pattern);
        cartscope::testing::writeFile(root / "rename_pattern" / ("seed" + std::to_string(p++)),
                                      std::vector<std::uint8_t>(text.begin(), text.end()));
    }

    // Programs and libraries: one version each, then one in two resource
    // languages with two translations.
    using cartscope::testing::buildVersionBlock;
    using cartscope::testing::versionInfo;
    cartscope::testing::writeFile(root / "pe_file" / "program", cartscope::testing::buildProgram(u"1.2.0.0"));
    cartscope::testing::writeFile(root / "pe_file" / "library", cartscope::testing::buildLibrary(u"1, 2, 0, 3"));
    cartscope::testing::VersionSpec languages;
    languages.tables = {{u"040904B0", {{u"CompanyName", u"Velmora"}, {u"FileVersion", u"2.0.0.1"}}},
                        {u"040704E4", {{u"FileVersion", u"2, 0, 0, 1"}}}};
    languages.translations = std::vector<std::uint32_t>{0x04B00409u, 0x04E40407u};
    cartscope::testing::PeLayout twoLanguages;
    twoLanguages.machine = 0x8664;
    twoLanguages.pe32Plus = true;
    twoLanguages.versions = {{0x0407, buildVersionBlock(versionInfo(languages))},
                             {0x0409, buildVersionBlock(versionInfo(u"2.0.0.1"))}};
    cartscope::testing::writeFile(root / "pe_file" / "languages", cartscope::testing::buildPe(twoLanguages));
    return 0;
}

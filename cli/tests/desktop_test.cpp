// The Linux desktop: the thumbnail command, the file URIs that file managers
// pass it, and the installed thumbnailer entry run as a file manager runs it.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>

#include "cartscope_version.h"
#include "cli/tests/cli_support.h"
#include "cli/thumbnail.h"
#include "core/rom_info.h"
#include "core/tests/support/rom_builder.h"
#include "core/tests/support/temp_dir.h"
#include "core/text.h"

using namespace cartscope;
using cartscope::testing::buildRom;
using cartscope::testing::iconRom;
using cartscope::testing::Outcome;
using cartscope::testing::quote;
using cartscope::testing::readPng;
using cartscope::testing::RomSpec;
using cartscope::testing::runWords;
using cartscope::testing::slurp;

namespace {

IconPixels iconOf(const std::filesystem::path& rom) {
    RomInfo info;
    EXPECT_TRUE(info.load(fromUtf8(rom.string()), RomLoadFlags::ReadBanner));
    return info.icon();
}

// Checks that a PNG is the icon scaled by nearest neighbour to side x side.
void expectScaledIcon(const std::string& png, const IconPixels& icon, unsigned side) {
    unsigned width = 0, height = 0;
    const auto pixels = readPng(png, width, height);
    ASSERT_EQ(width, side) << png;
    ASSERT_EQ(height, side) << png;
    for (unsigned y = 0; y < side; ++y)
        for (unsigned x = 0; x < side; ++x)
            ASSERT_EQ(pixels[y * side + x], icon[(y * 32 / side) * 32 + x * 32 / side]) << png << " at " << x << "," << y;
}

// A file URI of an absolute path, as file managers write them: every byte but
// the unreserved ones and the slashes percent-encoded.
std::string fileUri(const std::string& path) {
    std::string uri = "file://";
    for (unsigned char c : path) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
            uri += static_cast<char>(c);
        } else {
            char escape[4];
            std::snprintf(escape, sizeof escape, "%%%02X", c);
            uri += escape;
        }
    }
    return uri;
}

}  // namespace

TEST(ThumbnailInput, PathsAndFileUris) {
    struct Case {
        const char* input;
        std::optional<std::string> path;
    };
    const Case cases[] = {
        {"/roms/game.nds", "/roms/game.nds"},
        {"game.nds", "game.nds"},
        {"a:b.nds", "a:b.nds"},  // a relative name with a colon, not a scheme
        {"file:///roms/game.nds", "/roms/game.nds"},
        {"FILE:///roms/game.nds", "/roms/game.nds"},
        {"file://localhost/roms/game.nds", "/roms/game.nds"},
        {"file:/roms/game.nds", "/roms/game.nds"},
        {"file:///roms/My%20Game%20%C3%A9.nds", "/roms/My Game \xC3\xA9.nds"},
        {"file:///roms/100%25%3f%23.nds", "/roms/100%?#.nds"},
        {"file:///roms/%e2%82%ac", "/roms/\xE2\x82\xAC"},
        {"file:///roms/%FF.nds", "/roms/\xFF.nds"},  // bytes that are not UTF-8 are kept
        {"file:///roms/a%2", std::nullopt},
        {"file:///roms/a%", std::nullopt},
        {"file:///roms/a%zz.nds", std::nullopt},
        {"file:///roms/a%00.nds", std::nullopt},
        {"file:///roms/a?b.nds", std::nullopt},
        {"file:///roms/a#b.nds", std::nullopt},
        {"file://server/roms/game.nds", std::nullopt},
        {"file://", std::nullopt},
        {"file:roms/game.nds", std::nullopt},
        {"http://example.org/game.nds", std::nullopt},
        {"smb://server/share/game.nds", std::nullopt},
    };
    for (const auto& c : cases) {
        std::string problem;
        const auto path = cli::thumbnailInputPath(c.input, problem);
        EXPECT_EQ(path, c.path) << c.input;
        EXPECT_EQ(problem.empty(), c.path.has_value()) << c.input << ": " << problem;
    }
}

TEST(ThumbnailSide, LargestWholeFactorOrTheSizeBelowTheIcon) {
    const std::pair<int, int> cases[] = {{128, 128}, {100, 96}, {256, 256}, {255, 224}, {64, 64}, {63, 32},
                                         {33, 32},   {32, 32},  {31, 31},   {16, 16},   {1, 1},   {4096, 4096}};
    for (const auto& [size, side] : cases) EXPECT_EQ(cli::thumbnailSide(size), side) << size;
}

class ThumbnailTest : public ::testing::Test {
protected:
    Outcome runCli(const std::vector<std::string>& args) {
        std::vector<std::string> words{CARTSCOPE_CLI};
        words.insert(words.end(), args.begin(), args.end());
        return runWords(words, dir.path());
    }
    cartscope::testing::TempDir dir;
};

TEST_F(ThumbnailTest, TheIconIsScaledByWholeFactorsWithItsTransparency) {
    const auto rom = dir.path() / "Game é.nds";
    cartscope::testing::writeFile(rom, buildRom(iconRom()));
    const IconPixels icon = iconOf(rom);
    ASSERT_EQ(icon[1], 0x00000000u) << "the icon has transparent pixels";

    struct Case {
        std::vector<std::string> size;  // the option, or none for the default
        unsigned side;
        bool asUri;
    };
    const Case cases[] = {
        {{}, 128, false},          {{"-s", "128"}, 128, true}, {{"--size", "100"}, 96, false},
        {{"-s", "64"}, 64, true},  {{"-s", "32"}, 32, false},  {{"-s", "40"}, 32, false},
        {{"-s", "24"}, 24, false}, {{"-s", "1"}, 1, false},    {{"-s", "512"}, 512, true},
    };
    for (const auto& c : cases) {
        const std::string png = (dir.path() / ("thumb" + std::to_string(c.side) + ".png")).string();
        std::vector<std::string> args{"thumbnail"};
        args.insert(args.end(), c.size.begin(), c.size.end());
        args.push_back(c.asUri ? fileUri(rom.string()) : rom.string());
        args.push_back(png);
        const Outcome run = runCli(args);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        expectScaledIcon(png, icon, c.side);
    }
}

TEST_F(ThumbnailTest, WhatGivesNoThumbnailWritesNothing) {
    RomSpec broken;
    broken.badHeaderCrc = true;
    RomSpec plain;
    plain.bannerOffset = 0;
    const std::string notRom = (dir.path() / "bad.nds").string(), noIcon = (dir.path() / "plain.nds").string();
    cartscope::testing::writeFile(notRom, buildRom(broken));
    cartscope::testing::writeFile(noIcon, buildRom(plain));
    const std::string missing = (dir.path() / "missing.nds").string();

    struct Case {
        std::string input;
        int status;
        std::string err;
    };
    const Case cases[] = {
        {notRom, 1, "cartscope: " + notRom + ": not a Nintendo DS ROM image (no valid header)\n"},
        {fileUri(notRom), 1, "cartscope: " + notRom + ": not a Nintendo DS ROM image (no valid header)\n"},
        {noIcon, 1, "cartscope: " + noIcon + ": no icon: the ROM has no valid banner\n"},
        {missing, 1, "cartscope: " + missing + ": No such file or directory\n"},
        {"http://example.org/game.nds", 2,
         "cartscope: http://example.org/game.nds: not a local file: only file:// URIs and paths are read\n"},
        {"file://" + noIcon + "%4", 2,
         "cartscope: file://" + noIcon + "%4: bad escape in the file URI: \"%\" must be followed by two hexadecimal digits\n"},
        {"file://server" + noIcon, 2,
         "cartscope: file://server" + noIcon + ": not a local file: the URI names the host \"server\"\n"},
    };
    const auto png = dir.path() / "thumb.png";
    for (const auto& c : cases) {
        const Outcome run = runCli({"thumbnail", c.input, png.string()});
        EXPECT_EQ(run.status, c.status) << c.input;
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(run.out, "");
        EXPECT_FALSE(std::filesystem::exists(png)) << c.input;
    }
    EXPECT_EQ(runCli({"thumbnail", "-s", "0", noIcon, png.string()}).status, 2);
    EXPECT_EQ(runCli({"thumbnail", noIcon}).status, 2) << "no output";
}

TEST_F(ThumbnailTest, VersionIsTheBuildsVersion) {
    const Outcome run = runCli({"--version"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, std::string("cartscope ") + CARTSCOPE_VERSION_TEXT + "\n");
}

// The thumbnailer entry that `cmake --install` puts in place, run as a file
// manager runs it: %s the size, %u the URI of the file, %o the output; the
// program found through PATH, as TryExec names it.
TEST_F(ThumbnailTest, TheInstalledThumbnailerWritesTheScaledIcon) {
    const auto prefix = dir.path() / "prefix";
    const Outcome install =
        runWords({CARTSCOPE_CMAKE, "--install", CARTSCOPE_BUILD_DIR, "--prefix", prefix.string()}, dir.path());
    ASSERT_EQ(install.status, 0) << install.out << install.err;

    std::map<std::string, std::string> entry;
    std::istringstream lines(slurp(prefix / "share/thumbnailers/cartscope.thumbnailer"));
    std::string line, group;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            group = line;
            continue;
        }
        const auto equals = line.find('=');
        ASSERT_NE(equals, std::string::npos) << line;
        ASSERT_EQ(group, "[Thumbnailer Entry]") << line;
        entry[line.substr(0, equals)] = line.substr(equals + 1);
    }
    EXPECT_EQ(entry["MimeType"], "application/x-nintendo-ds-rom;");
    ASSERT_EQ(entry["TryExec"], "cartscope");
    EXPECT_TRUE(std::filesystem::exists(prefix / "bin" / entry["TryExec"]));
    ASSERT_EQ(entry["Exec"].find_first_of("\"'\\"), std::string::npos) << "no quoting to undo";

    const auto rom = dir.path() / "Star Courier é.nds";
    cartscope::testing::writeFile(rom, buildRom(iconRom()));
    const IconPixels icon = iconOf(rom);
    for (const auto& [size, side] : {std::pair{128, 128u}, std::pair{256, 256u}, std::pair{100, 96u}}) {
        const std::string png = (dir.path() / ("thumbnail " + std::to_string(size) + ".png")).string();
        std::vector<std::string> words;
        std::istringstream exec(entry["Exec"]);
        for (std::string word; exec >> word;) {
            if (word == "%s") word = std::to_string(size);
            if (word == "%u") word = fileUri(rom.string());
            if (word == "%o") word = png;
            words.push_back(word);
        }
        const Outcome run = runWords(words, dir.path(), "PATH=" + quote((prefix / "bin").string()) + ":\"$PATH\"");
        ASSERT_EQ(run.status, 0) << run.err;
        expectScaledIcon(png, icon, side);
    }

    // 128 is exactly the icon four times as large: the same picture as the
    // icon command's.
    const std::string icon128 = (dir.path() / "icon128.png").string();
    ASSERT_EQ(runCli({"icon", rom.string(), "-o", icon128, "--size", "128"}).status, 0);
    EXPECT_EQ(slurp(dir.path() / "thumbnail 128.png"), slurp(icon128));
}

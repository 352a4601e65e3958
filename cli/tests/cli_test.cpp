// End-to-end checks of the cartscope program: it is run as a user runs it.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

#include <png.h>

#include "crc.h"
#include "info_tip.h"
#include "rom_builder.h"
#include "temp_dir.h"
#include "text.h"

using namespace cartscope;
using cartscope::testing::buildRom;
using cartscope::testing::RomSpec;

namespace {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string quote(const std::string& arg) {
    std::string quoted = "'";
    for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

class CliTest : public ::testing::Test {
protected:
    Outcome runCli(const std::vector<std::string>& args) {
        std::string command = quote(CARTSCOPE_CLI);
        for (const auto& arg : args) command += " " + quote(arg);
        const auto out = dir.path() / "stdout", err = dir.path() / "stderr";
        command += " >" + quote(out.string()) + " 2>" + quote(err.string());
        const int raw = std::system(command.c_str());
        Outcome run;
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        run.out = slurp(out);
        run.err = slurp(err);
        return run;
    }
    std::string put(const std::string& name, const RomSpec& card) {
        const auto path = dir.path() / name;
        cartscope::testing::writeFile(path, buildRom(card));
        return path.string();
    }
    cartscope::testing::TempDir dir;
};

// Reads an RGBA PNG back into ARGB pixels.
std::vector<std::uint32_t> readPng(const std::string& path, unsigned& width, unsigned& height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
    image.format = PNG_FORMAT_BGRA;  // little-endian ARGB words
    std::vector<std::uint32_t> pixels(image.width * image.height);
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return {};
    width = image.width;
    height = image.height;
    return pixels;
}

RomSpec iconRom() {
    RomSpec card;
    card.palette[0] = cartscope::testing::rgb15(31, 0, 0);
    card.palette[5] = cartscope::testing::rgb15(0, 0, 31);
    card.palette[9] = cartscope::testing::rgb15(16, 31, 0);
    for (int i = 0; i < 32 * 32; ++i) card.icon[static_cast<std::size_t>(i)] = (i % 7 == 0) ? 5 : (i % 5 == 0 ? 9 : 0);
    return card;
}

}  // namespace

TEST_F(CliTest, InfoPrintsTheInfoTip) {
    RomSpec card;
    card.usedSize = 0xB4000;
    const std::string path = put("Star (U).nds", card);
    const auto bytes = buildRom(card);
    char crc[9];
    std::snprintf(crc, sizeof crc, "%08X", crc32(bytes.data(), bytes.size()));
    const Outcome run = runCli({"info", path});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "Star (U).nds\nROM-Size: 1MB (8Mbit)\nTrimmed: 720KB\nFile-Size: 1.024KB\nCRC32 (File): " +
                           std::string(crc) + "\n\n");
    EXPECT_EQ(run.err, "");
}

TEST_F(CliTest, InfoGoesOnPastFilesThatAreNotRoms) {
    const std::string good = put("good.nds", RomSpec{});
    RomSpec broken;
    broken.badHeaderCrc = true;
    const std::string bad = put("bad.nds", broken);
    const Outcome run = runCli({"info", bad, (dir.path() / "missing.nds").string(), good});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out.rfind("good.nds\nROM-Size: ", 0), 0u) << run.out;
    EXPECT_EQ(run.err, "cartscope: " + bad + ": not a Nintendo DS ROM image (no valid header)\n" + "cartscope: " +
                           (dir.path() / "missing.nds").string() + ": No such file or directory\n");
}

TEST_F(CliTest, IconIsWrittenAsPngWithTransparencyAndScaling) {
    const std::string path = put("icon.nds", iconRom());
    RomInfo rom;
    ASSERT_TRUE(rom.load(fromUtf8(path), RomLoadFlags::ReadBanner));
    const IconPixels expected = rom.icon();

    const std::string png32 = (dir.path() / "icon.png").string();
    ASSERT_EQ(runCli({"icon", path, "-o", png32}).status, 0);
    unsigned w = 0, h = 0;
    const auto pixels = readPng(png32, w, h);
    ASSERT_EQ(w, 32u);
    ASSERT_EQ(h, 32u);
    EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), expected.begin()));
    EXPECT_EQ(pixels[1], 0x00000000u) << "palette index 0 is transparent, not red";

    const std::string png80 = (dir.path() / "icon80.png").string();
    ASSERT_EQ(runCli({"icon", path, "-o", png80, "--size", "80"}).status, 0);
    const auto big = readPng(png80, w, h);
    ASSERT_EQ(w, 80u);
    for (unsigned y = 0; y < 80; ++y)
        for (unsigned x = 0; x < 80; ++x) ASSERT_EQ(big[y * 80 + x], expected[(y * 32 / 80) * 32 + x * 32 / 80]) << x << "," << y;
}

TEST_F(CliTest, IconFailsClearlyWithoutABanner) {
    RomSpec card;
    card.bannerOffset = 0;
    const std::string path = put("plain.nds", card);
    const Outcome run = runCli({"icon", path, "-o", (dir.path() / "x.png").string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "cartscope: " + path + ": no icon: the ROM has no valid banner\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "x.png"));
}

TEST_F(CliTest, TrimAndUntrimLogLikeTheLogWindow) {
    RomSpec untrimmed;
    untrimmed.usedSize = 0x5000;
    const std::string a = put("A.nds", untrimmed);
    RomSpec trimmed = untrimmed;
    trimmed.fileSize = 0x5200;
    const std::string b = put("B.nds", trimmed);
    RomSpec withData = untrimmed;
    const std::string c = put("C.nds", withData);
    auto bytes = buildRom(withData);
    bytes.back() = 0x42;
    cartscope::testing::writeFile(c, bytes);

    Outcome run = runCli({"trim", a, b, c});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out,
              "trim:\tA.nds\n\t--> done\n"
              "trim:\tB.nds\n\t--> already trimed\n"
              "trim:\tC.nds\n\t--> data after the used area; not trimmed\n");
    EXPECT_EQ(std::filesystem::file_size(a), 0x5200u);
    EXPECT_EQ(std::filesystem::file_size(c), 0x8000u);

    run = runCli({"untrim", a, b});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "untrim:\tA.nds\n\t--> done\nuntrim:\tB.nds\n\t--> done\n");
    EXPECT_EQ(std::filesystem::file_size(a), 0x8000u);
    EXPECT_EQ(cartscope::testing::readFile(a), buildRom(untrimmed));
}

TEST_F(CliTest, UsageErrorsAndHelp) {
    EXPECT_EQ(runCli({}).status, 2);
    EXPECT_EQ(runCli({"frobnicate"}).status, 2);
    EXPECT_EQ(runCli({"info"}).status, 2);
    EXPECT_EQ(runCli({"icon", "x.nds"}).status, 2) << "no output file";
    EXPECT_EQ(runCli({"icon", "x.nds", "-o", "x.png", "--size", "0"}).status, 2);
    EXPECT_EQ(runCli({"icon", "x.nds", "-o", "x.png", "--size", "many"}).status, 2);
    for (const char* command : {"info", "icon", "trim", "untrim"}) {
        const Outcome help = runCli({command, "--help"});
        EXPECT_EQ(help.status, 0) << command;
        EXPECT_NE(help.out.find("Usage"), std::string::npos) << command;
    }
    EXPECT_EQ(runCli({"--help"}).status, 0);
}

namespace {

const std::string kTsvHeader =
    "game code\tROM code\tname\tcountry\tgenre\tpublisher\tlanguage mask\tWiFi\trelease number\trelease group\tCRC-32\n";

}  // namespace

TEST_F(CliTest, DatabaseBuildDumpVersionAndLookup) {
    const std::string tsv = (dir.path() / "releases.tsv").string(), dat = (dir.path() / "nds-rom.dat").string();
    const std::string text = kTsvHeader +
                             "AAAE\tNTR-AAAE-USA\tCaf\xC3\xA9 Game\tUSA\tPuzzle\tVelmora\t9\tNo\t0001\tGRP\t0BADF00D\n"
                             "BBBP\tNTR-BBBP-EUR\tOther\tEurope\t\t\t0\t\t0002\t\t\n";
    cartscope::testing::writeFile(tsv, std::vector<std::uint8_t>(text.begin(), text.end()));
    EXPECT_EQ(runCli({"db", "build", tsv, "-o", dat, "--version", "42"}).status, 0);

    Outcome run = runCli({"db", "dump", dat});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, text) << "a round trip gives the same list";
    EXPECT_EQ(runCli({"db", "version", dat}).out, "42\n");

    run = runCli({"db", "lookup", dat, "AAAE"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("Name: Caf\xC3\xA9 Game\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Languages: 9 (eng,ger)\n"), std::string::npos) << run.out;
    EXPECT_EQ(runCli({"db", "lookup", dat, "ZZZZ"}).status, 1);

    // Characters beyond ISO 8859-1 are refused with their line.
    const std::string bad = kTsvHeader + "AAAE\tx\t\xE2\x82\xAC uro\tx\tx\tx\t1\tx\t1\tx\t\n";
    cartscope::testing::writeFile(tsv, std::vector<std::uint8_t>(bad.begin(), bad.end()));
    run = runCli({"db", "build", tsv, "-o", dat, "--version", "1"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("line 2: "), std::string::npos) << run.err;
    const std::string shortLine = kTsvHeader + "AAAE\tonly three\tcolumns\n";
    cartscope::testing::writeFile(tsv, std::vector<std::uint8_t>(shortLine.begin(), shortLine.end()));
    EXPECT_EQ(runCli({"db", "build", tsv, "-o", dat, "--version", "1"}).status, 1);
    EXPECT_EQ(runCli({"db", "build", tsv, "-o", dat}).status, 2) << "the version is required";
}

TEST_F(CliTest, BundledSampleDatabaseIsBuiltFromItsList) {
    const char* source = std::getenv("CARTSCOPE_SOURCE_DIR");
    if (!source) GTEST_SKIP() << "CARTSCOPE_SOURCE_DIR is not set";
    const auto samples = std::filesystem::path(source) / "samples";
    const std::string dat = (dir.path() / "nds-rom.dat").string();
    ASSERT_EQ(runCli({"db", "build", (samples / "releases.tsv").string(), "-o", dat, "--version", "1"}).status, 0);
    EXPECT_EQ(cartscope::testing::readFile(dat), cartscope::testing::readFile(samples / "nds-rom.dat"));

    // The info tip of a known sample: database lines and a matching CRC.
    const Outcome run = runCli({"info", "--db", dat, (samples / "star-courier.nds").string()});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("star-courier.nds\nROM-Code: NTR-KSCE-USA\nName: Star Courier\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\nCRC32: 57483807\n\nRelease-Nr.: 0001\nRelease-Group: Cartscope\n"), std::string::npos);
}

TEST_F(CliTest, NamesAndRename) {
    RomSpec card;
    card.gameCode = "AAAE";
    card.titles[0] = u"ゲーム";
    card.titles[1] = u"Mario|Kart\nNintendo";
    card.titles[2] = u"Jeu";
    const std::string rom = put("rom.nds", card);
    const std::string tsv = (dir.path() / "r.tsv").string(), dat = (dir.path() / "nds-rom.dat").string();
    const std::string text = kTsvHeader + "AAAE\tNTR\tData Name\tUSA\t\t\t1\t\t0042\tG\t\n";
    cartscope::testing::writeFile(tsv, std::vector<std::uint8_t>(text.begin(), text.end()));
    ASSERT_EQ(runCli({"db", "build", tsv, "-o", dat, "--version", "1"}).status, 0);

    Outcome run = runCli({"names", "--db", dat, "--pattern", "[%N] %T", rom});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out,
              "[0042] Data Name.nds\n[0042] Jeu.nds\n[0042] Mario_Kart.nds\n[0042] Mario_Kart - Nintendo.nds\n"
              "[0042] \xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0.nds\n");

    EXPECT_EQ(runCli({"rename", "--pattern", "%X", rom}).status, 2);
    EXPECT_NE(runCli({"rename", "--pattern", "%N only", rom}).err.find("%T (Title)"), std::string::npos);

    run = runCli({"rename", "--db", dat, "--pattern", "%T [%N]", "--language", "2", "--dry-run", rom});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, rom + " -> " + (dir.path() / "Jeu [0042].nds").string() + "\n");
    EXPECT_TRUE(std::filesystem::exists(rom)) << "a dry run changes nothing";

    // An existing file of the new name is never overwritten.
    cartscope::testing::writeFile(dir.path() / "Jeu.nds", {1, 2, 3});
    run = runCli({"rename", "--language", "2", rom});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("a file of that name exists"), std::string::npos) << run.err;
    EXPECT_EQ(cartscope::testing::readFile(dir.path() / "Jeu.nds"), (std::vector<std::uint8_t>{1, 2, 3}));

    // Language 4 (Italian) is empty: English comes next.
    run = runCli({"rename", "--language", "4", rom});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "Mario_Kart.nds"));
    EXPECT_FALSE(std::filesystem::exists(rom));
}

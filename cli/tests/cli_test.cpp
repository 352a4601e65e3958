// End-to-end checks of the cartscope program: it is run as a user runs it.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/png_writer.h"
#include "cli/tests/cli_support.h"
#include "core/crc.h"
#include "core/info_tip.h"
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

class CliTest : public ::testing::Test {
protected:
    // Runs the program; `shell` comes first in the same shell (a folder to
    // change to, limits, variables).
    Outcome runCli(const std::vector<std::string>& args, const std::string& shell = {},
                   const std::string& program = CARTSCOPE_CLI) {
        std::vector<std::string> words{program};
        words.insert(words.end(), args.begin(), args.end());
        return runWords(words, dir.path(), shell);
    }
    std::string put(const std::string& name, const RomSpec& card) {
        const auto path = dir.path() / name;
        cartscope::testing::writeFile(path, buildRom(card));
        return path.string();
    }
    cartscope::testing::TempDir dir;
};

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
    EXPECT_EQ(run.err, "cartscope: " + bad + ": not a Nintendo DS ROM image (no valid header)\n" +
                           "cartscope: " + (dir.path() / "missing.nds").string() + ": No such file or directory\n");
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

// An icon of at most 16 colours (a banner icon has 16, one transparent) is
// written with a palette of them, any other as RGBA: either way every pixel
// comes back, at the icon's size and scaled.
TEST_F(CliTest, IconPicturesKeepTheirPixelsWithAndWithoutAPalette) {
    for (const std::uint32_t colours : {1u, 2u, 16u, 17u, 1024u}) {
        IconPixels icon{};
        for (std::size_t i = 0; i < icon.size(); ++i) {
            const std::uint32_t k = static_cast<std::uint32_t>(i * 7) % colours;
            icon[i] = k == 0 ? 0u : 0xFF000000u | k * 0x010101u;
        }
        for (const int size : {32, 48, 128}) {
            std::vector<std::uint8_t> png;
            ASSERT_EQ(cartscope::cli::encodeIconPng(icon, size, png), "");
            ASSERT_GT(png.size(), 25u);
            EXPECT_EQ(png[25], colours <= 16 ? 3 : 6) << "colour type: palette or RGBA, " << colours << " colours";
            const std::string file = (dir.path() / "picture.png").string();
            cartscope::testing::writeFile(file, png);
            unsigned w = 0, h = 0;
            const auto pixels = readPng(file, w, h);
            ASSERT_EQ(w, static_cast<unsigned>(size));
            ASSERT_EQ(h, static_cast<unsigned>(size));
            for (unsigned y = 0; y < h; ++y)
                for (unsigned x = 0; x < w; ++x)
                    ASSERT_EQ(pixels[y * w + x], icon[(y * 32 / h) * 32 + x * 32 / w])
                        << colours << " colours, size " << size << ", at " << x << "," << y;
        }
    }
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

// cartscope runs the plain forms of info, icon, thumbnail, trim and untrim
// itself and hands every other command line to cartscope-full: for each
// argument list both programs must answer alike, in status, output, messages
// and the files written.
TEST_F(CliTest, PerFileCommandsAnswerAsTheWholeCommandLine) {
    const std::string rom = put("a.nds", RomSpec{});
    RomSpec plain;
    plain.bannerOffset = 0;
    const std::string noBanner = put("plain.nds", plain);
    RomSpec trimmedCard;
    trimmedCard.fileSize = trimmedCard.usedSize;
    const std::string trimmed = put("t.nds", trimmedCard);
    const std::string tsv = (dir.path() / "releases.tsv").string(), dat = (dir.path() / "nds-rom.dat").string();
    const std::string text = kTsvHeader + "ABCE\tNTR-ABCE-USA\tA Game\tUSA\t\t\t1\t\t0001\t\t\n";
    cartscope::testing::writeFile(tsv, std::vector<std::uint8_t>(text.begin(), text.end()));
    ASSERT_EQ(runCli({"db", "build", tsv, "-o", dat, "--version", "3"}).status, 0);
    const std::string out = (dir.path() / "out.png").string(), missing = (dir.path() / "missing.nds").string();

    const std::vector<std::vector<std::string>> cases = {
        {"info", rom},
        {"info", rom, missing, noBanner},
        {"info", "--db", dat, rom},
        {"info", rom, "--db=" + dat},
        {"info", "--db", dir.path().string(), rom},
        {"info", "--db", missing, rom},
        {"info", "--db=", rom},
        {"info", "--db", dat, "--db", dat, rom},
        {"info", "icon"},
        {"info", "-x", rom},
        {"icon", rom, "-o", out},
        {"icon", "-o", out, rom, "--size", "64"},
        {"icon", rom, "--output=" + out, "--size=4096"},
        {"icon", rom, "-o", out, "--size", "4097"},
        {"icon", rom, "-o", out, "--size", "010"},
        {"icon", rom, "-o", out, "--size", "0x20"},
        {"icon", rom, "-o", out, "--size", "8", "--size", "9"},
        {"icon", rom, "-o", rom},
        {"icon", noBanner, "-o", out},
        {"icon", rom},
        {"icon", rom, rom, "-o", out},
        {"thumbnail", rom, out},
        {"thumbnail", "-s", "256", "file://" + rom, out},
        {"thumbnail", "--size=1", rom, out},
        {"thumbnail", "-s", "-1", rom, out},
        {"thumbnail", rom},
        {"thumbnail", rom, out, "extra"},
        {"thumbnail", "file://nohost" + rom, out},
        {"trim", rom, noBanner, missing},
        {"untrim", rom, trimmed},
        {"trim", trimmed, "--", rom},
        {"trim"},
        {"untrim", "--all", rom},
    };
    for (const auto& args : cases) {
        std::string shown;
        for (const auto& arg : args) shown += " " + arg;
        Outcome runs[2];
        std::string written[2];
        for (int i = 0; i < 2; ++i) {
            std::filesystem::remove(out);
            put("a.nds", RomSpec{});  // as they were: trim and untrim change them
            put("t.nds", trimmedCard);
            runs[i] = runCli(args, {}, i == 0 ? CARTSCOPE_CLI : CARTSCOPE_CLI_FULL);
            written[i] = (std::filesystem::exists(out) ? slurp(out) : "(none)") + " " + slurp(rom) + " " + slurp(trimmed);
        }
        EXPECT_EQ(runs[0].status, runs[1].status) << shown;
        EXPECT_EQ(runs[0].out, runs[1].out) << shown;
        EXPECT_EQ(runs[0].err, runs[1].err) << shown;
        EXPECT_EQ(written[0], written[1]) << shown;
    }
}

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

namespace {

// The names in a folder.
std::set<std::string> folderNames(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

// A release list long enough that its database outgrows a small file-size limit.
std::string longReleaseList(char first) {
    std::string text = kTsvHeader;
    for (int i = 0; i < 100; ++i) {
        const std::string code = {first, static_cast<char>('A' + i / 26), static_cast<char>('A' + i % 26), 'E'};
        text += code + "\tNTR-" + code + "-USA\tA game with a long enough name\tUSA\tPuzzle\tVelmora\t1\tNo\t" +
                std::to_string(1000 + i) + "\tGRP\t\n";
    }
    return text;
}

void writeText(const std::filesystem::path& path, const std::string& text) {
    cartscope::testing::writeFile(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

unsigned modeOf(const std::filesystem::path& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

}  // namespace

TEST_F(CliTest, OutputsTakeTheirTargetsPlaceWhole) {
    const auto out = dir.path() / "out";
    std::filesystem::create_directory(out);
    const std::string tsv = (dir.path() / "r.tsv").string(), rom = put("icon.nds", iconRom());
    writeText(tsv, longReleaseList('A'));
    const auto dat = out / "nds-rom.dat", png = out / "icon.png";

    // New files: 0666 less the umask.
    ASSERT_EQ(runCli({"db", "build", tsv, "-o", dat.string(), "--version", "1"}, "umask 027;").status, 0);
    ASSERT_EQ(runCli({"icon", rom, "-o", png.string()}, "umask 027;").status, 0);
    EXPECT_EQ(modeOf(dat), 0640u);
    EXPECT_EQ(modeOf(png), 0640u);

    // A reader that has the old file open goes on reading the old file, not a
    // mix; the targets keep their modes; nothing else is left in the folder.
    const auto oldDatabase = cartscope::testing::readFile(dat), oldIcon = cartscope::testing::readFile(png);
    std::ifstream databaseReader(dat, std::ios::binary), iconReader(png, std::ios::binary);
    std::filesystem::permissions(dat, std::filesystem::perms(0604));
    std::filesystem::permissions(png, std::filesystem::perms(0660));
    ASSERT_EQ(runCli({"db", "build", tsv, "-o", dat.string(), "--version", "2"}).status, 0);
    ASSERT_EQ(runCli({"icon", rom, "-o", png.string(), "--size", "48"}).status, 0);
    const std::string readOnAfter(std::istreambuf_iterator<char>(databaseReader), {});
    EXPECT_EQ(readOnAfter, std::string(oldDatabase.begin(), oldDatabase.end()));
    const std::string iconReadOnAfter(std::istreambuf_iterator<char>(iconReader), {});
    EXPECT_EQ(iconReadOnAfter, std::string(oldIcon.begin(), oldIcon.end()));
    EXPECT_EQ(runCli({"db", "version", dat.string()}).out, "2\n");
    unsigned w = 0, h = 0;
    readPng(png.string(), w, h);
    EXPECT_EQ(w, 48u);
    EXPECT_EQ(modeOf(dat), 0604u);
    EXPECT_EQ(modeOf(png), 0660u);
    EXPECT_EQ(folderNames(out), (std::set<std::string>{"nds-rom.dat", "icon.png"}));

    // A symbolic link stays: the file it names is replaced, or made when it
    // does not exist yet.
    std::filesystem::create_symlink("nds-rom.dat", out / "link.dat");
    std::filesystem::create_symlink("new.png", out / "link.png");
    ASSERT_EQ(runCli({"db", "build", tsv, "-o", (out / "link.dat").string(), "--version", "3"}).status, 0);
    ASSERT_EQ(runCli({"icon", rom, "-o", (out / "link.png").string()}).status, 0);
    EXPECT_TRUE(std::filesystem::is_symlink(out / "link.dat"));
    EXPECT_TRUE(std::filesystem::is_symlink(out / "link.png"));
    EXPECT_EQ(runCli({"db", "version", dat.string()}).out, "3\n");
    EXPECT_EQ(modeOf(dat), 0604u);
    readPng((out / "new.png").string(), w, h);
    EXPECT_EQ(w, 32u);
    EXPECT_EQ(folderNames(out), (std::set<std::string>{"nds-rom.dat", "icon.png", "link.dat", "link.png", "new.png"}));
}

TEST_F(CliTest, FailedWritesLeaveTheOldFileAsItWas) {
    const auto out = dir.path() / "out";
    std::filesystem::create_directory(out);
    const std::string tsv = (dir.path() / "r.tsv").string(), rom = put("icon.nds", iconRom());
    const auto dat = out / "nds-rom.dat", png = out / "icon.png";
    writeText(tsv, longReleaseList('A'));
    ASSERT_EQ(runCli({"db", "build", tsv, "-o", dat.string(), "--version", "1"}).status, 0);
    ASSERT_EQ(runCli({"icon", rom, "-o", png.string(), "--size", "256"}).status, 0);
    ASSERT_GT(std::filesystem::file_size(dat), 4096u);
    const auto oldDatabase = cartscope::testing::readFile(dat), oldIcon = cartscope::testing::readFile(png);

    // The same outputs again (another list, a larger icon) with a file-size
    // limit of one block: the disk is full, as far as the program can tell.
    writeText(tsv, longReleaseList('B'));
    Outcome run = runCli({"db", "build", tsv, "-o", dat.string(), "--version", "2"}, "ulimit -f 1;");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "cartscope: " + dat.string() + ": " + std::strerror(EFBIG) + "\n");
    EXPECT_EQ(cartscope::testing::readFile(dat), oldDatabase);
    run = runCli({"icon", rom, "-o", png.string(), "--size", "1024"}, "ulimit -f 1;");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(cartscope::testing::readFile(png), oldIcon);
    EXPECT_EQ(folderNames(out), (std::set<std::string>{"nds-rom.dat", "icon.png"})) << "no temporary file is left";

    // Targets that are no regular files are not replaced.
    std::filesystem::create_directory(out / "folder.png");
    ASSERT_EQ(mkfifo((out / "fifo.png").c_str(), 0600), 0);
    run = runCli({"icon", rom, "-o", (out / "folder.png").string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "cartscope: " + (out / "folder.png").string() + ": Is a directory\n");
    run = runCli({"icon", rom, "-o", (out / "fifo.png").string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "cartscope: " + (out / "fifo.png").string() + ": not a regular file\n");
    EXPECT_TRUE(std::filesystem::is_fifo(out / "fifo.png"));
    EXPECT_EQ(folderNames(out), (std::set<std::string>{"nds-rom.dat", "icon.png", "folder.png", "fifo.png"}));
}

TEST_F(CliTest, AnOutputThatIsAnInputIsAUsageError) {
    const std::string rom = put("game.nds", iconRom());
    const auto romBytes = cartscope::testing::readFile(rom);
    std::filesystem::create_hard_link(rom, dir.path() / "hard.nds");
    std::filesystem::create_symlink("game.nds", dir.path() / "soft.png");
    for (const auto& output : {rom, (dir.path() / "hard.nds").string(), (dir.path() / "soft.png").string()}) {
        const Outcome run = runCli({"icon", rom, "-o", output});
        EXPECT_EQ(run.status, 2) << output;
        EXPECT_EQ(run.err,
                  "cartscope: " + output + ": the output would replace the input file " + rom + "; choose another output\n");
        EXPECT_EQ(cartscope::testing::readFile(rom), romBytes);
    }
    // The same file under another spelling of its folder.
    Outcome run = runCli({"icon", "./game.nds", "-o", "../" + dir.path().filename().string() + "/game.nds"},
                         "cd " + quote(dir.path().string()) + " &&");
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_TRUE(std::filesystem::is_symlink(dir.path() / "soft.png"));

    const std::string tsv = (dir.path() / "t.tsv").string();
    writeText(tsv, longReleaseList('A'));
    run = runCli({"db", "build", tsv, "-o", tsv, "--version", "1"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("the output would replace the input file"), std::string::npos) << run.err;
    EXPECT_EQ(slurp(tsv), longReleaseList('A'));
}

namespace {

// A shell command that lets a run go on that waits in the open of a FIFO:
// every 5 s for 50 s the FIFO is opened for writing (O_RDWR never waits)
// and closed again, so such a run reads nothing and ends with some other
// message. Ending it by the time-out instead could leave the database lock
// slots that it held taken for good.
std::string unblockLater(const std::string& fifo) {
    return "(for i in 1 2 3 4 5 6 7 8 9 10; do sleep 5; : <>" + quote(fifo) + "; done) >/dev/null 2>&1 &";
}

}  // namespace

TEST_F(CliTest, InputsThatAreNoRegularFilesAreRefusedAtOnce) {
    // Each run would wait for a writer if it opened the FIFO as it opens a
    // file (unblockLater ends the wait with a failure).
    const std::string rom = put("game.nds", iconRom());
    const std::string fifo = (dir.path() / "fifo").string(), folder = (dir.path() / "folder").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_directory(folder);
    const std::vector<std::vector<std::string>> runs = {
        {"info", fifo},
        {"info", "--db", fifo, rom},
        {"names", fifo},
        {"rename", "--dry-run", fifo},
        {"trim", fifo},
        {"untrim", fifo},
        {"icon", fifo, "-o", (dir.path() / "x.png").string()},
        {"db", "build", fifo, "-o", (dir.path() / "x.dat").string(), "--version", "1"},
        {"db", "dump", fifo},
        {"db", "version", fifo},
        {"db", "lookup", fifo, "AAAE"},
    };
    for (const auto& args : runs) {
        const Outcome run = runCli(args, unblockLater(fifo));
        EXPECT_EQ(run.status, 1) << args[0] << " " << args[1];
        EXPECT_EQ(run.err, "cartscope: " + fifo + ": not a regular file\n") << args[0] << " " << args[1];
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "x.png"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "x.dat"));

    // A folder says so, not that it is no ROM image.
    for (const char* command : {"info", "trim", "names"}) {
        const Outcome run = runCli({command, folder});
        EXPECT_EQ(run.status, 1) << command;
        EXPECT_EQ(run.err, "cartscope: " + folder + ": Is a directory\n") << command;
    }
    EXPECT_EQ(runCli({"db", "dump", folder}).err, "cartscope: " + folder + ": Is a directory\n");

    // The database of the data folder is looked up the same way: without it
    // the info is shown.
    const auto data = dir.path() / "data";
    std::filesystem::create_directories(data / "cartscope");
    ASSERT_EQ(mkfifo((data / "cartscope" / "nds-rom.dat").c_str(), 0600), 0);
    const Outcome run = runCli(
        {"info", rom}, unblockLater((data / "cartscope" / "nds-rom.dat").string()) + " XDG_DATA_HOME=" + quote(data.string()));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.rfind("game.nds\nROM-Size: ", 0), 0u) << run.out;
}

TEST_F(CliTest, ADryRunMeetsWhatTheRunWouldMeet) {
    // The same folder twice: one for a dry run, one for the real run. Each
    // holds a name that is taken, two ROMs after one name, a chain in which
    // a rename frees the name that the next one takes, and a ROM that is
    // named twice and then under its new name.
    auto titled = [](const char16_t* title) {
        RomSpec card;
        card.titles[1] = title;
        return card;
    };
    std::vector<Outcome> runs;
    for (const std::string name : {"dry", "real"}) {
        const auto folder = dir.path() / name;
        std::filesystem::create_directory(folder);
        auto place = [&](const std::string& file, const RomSpec& card) {
            cartscope::testing::writeFile(folder / file, buildRom(card));
        };
        place("a.nds", titled(u"Taken"));
        cartscope::testing::writeFile(folder / "Taken.nds", {1, 2, 3});
        place("b.nds", titled(u"Twin"));
        place("c.nds", titled(u"Twin"));
        place("Y.nds", titled(u"Z"));
        place("X.nds", titled(u"Y"));
        place("e.nds", titled(u"E2"));
        std::vector<std::string> args = {"rename", "--language", "1"};
        if (name == "dry") args.push_back("--dry-run");
        for (const char* rom : {"a.nds", "b.nds", "c.nds", "Y.nds", "X.nds", "e.nds", "./e.nds", "E2.nds", "gone.nds"})
            args.push_back(rom);
        runs.push_back(runCli(args, "cd " + quote(folder.string()) + " &&"));
    }
    const Outcome& dry = runs[0];
    const Outcome& real = runs[1];
    EXPECT_EQ(real.status, 1);
    EXPECT_EQ(real.out, "b.nds -> Twin.nds\nY.nds -> Z.nds\nX.nds -> Y.nds\ne.nds -> E2.nds\nE2.nds: name unchanged\n");
    EXPECT_EQ(real.err,
              "cartscope: a.nds: cannot rename to \"Taken.nds\": a file of that name exists\n"
              "cartscope: c.nds: cannot rename to \"Twin.nds\": a file of that name exists\n"
              "cartscope: ./e.nds: No such file or directory\n"
              "cartscope: gone.nds: No such file or directory\n");
    EXPECT_EQ(dry.status, real.status);
    EXPECT_EQ(dry.out, real.out);
    EXPECT_EQ(dry.err, real.err);
    EXPECT_EQ(folderNames(dir.path() / "dry"),
              (std::set<std::string>{"a.nds", "Taken.nds", "b.nds", "c.nds", "Y.nds", "X.nds", "e.nds"}))
        << "a dry run changes nothing";
}

TEST_F(CliTest, GameCodesAndDatabaseNamesAreChecked) {
    const std::string dat = (dir.path() / "nds-rom.dat").string(), tsv = (dir.path() / "r.tsv").string();
    writeText(tsv, longReleaseList('A'));
    ASSERT_EQ(runCli({"db", "build", tsv, "-o", dat, "--version", "1"}).status, 0);
    EXPECT_EQ(runCli({"db", "lookup", dat, "AAAE"}).status, 0);
    for (const char* code : {"AAAEX", "AAA", "", "AA\xE2\x82\xAC"}) {
        const Outcome run = runCli({"db", "lookup", dat, code});
        EXPECT_EQ(run.status, 2) << code;
        EXPECT_NE(run.err.find("a game code is exactly 4 characters"), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }

    const std::string rom = put("game.nds", RomSpec{});
    for (const char* command : {"info", "names", "rename"}) {
        Outcome run = runCli({command, "--db", "", rom});
        EXPECT_EQ(run.status, 2) << command;
        EXPECT_EQ(run.err, "cartscope: --db: the file name is empty\n");
        run = runCli({command, "--db", dir.path().string(), rom});
        EXPECT_EQ(run.status, 2) << command;
        EXPECT_EQ(run.err, "cartscope: " + dir.path().string() + ": a folder; --db names the database file itself\n");
        EXPECT_EQ(run.out, "");
    }
    EXPECT_TRUE(std::filesystem::exists(rom));
}

TEST_F(CliTest, FileNamesAreShownOnOneLineAndOpenWhateverTheirBytes) {
    // A line feed, a tab, a backslash, DEL, a C1 control (U+0085) and a byte
    // that is not UTF-8 (0xE9, Latin-1 for é).
    const std::string odd =
        "a\nb\tc\\d\x7F"
        "e\xC2\x85"
        "caf\xE9.nds";
    const std::string shown = "a\\nb\\tc\\\\d\\x7Fe\\xC2\\x85caf\\xE9.nds";
    RomSpec card;
    card.titles[1] = u"New\tName";
    card.usedSize = 0x5000;
    put(odd, card);
    const std::string cd = "cd " + quote(dir.path().string()) + " &&";

    Outcome run = runCli({"info", odd}, cd);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.rfind(shown + "\nROM-Size: ", 0), 0u) << run.out;

    run = runCli({"trim", odd}, cd);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "trim:\t" + shown + "\n\t--> done\n");
    run = runCli({"untrim", odd}, cd);
    EXPECT_EQ(run.out, "untrim:\t" + shown + "\n\t--> done\n");

    run = runCli({"names", odd}, cd);
    EXPECT_EQ(run.out, "New\\tName.nds\n");

    run = runCli({"info", "missing\n\xFF.nds"}, cd);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "cartscope: missing\\n\\xFF.nds: No such file or directory\n");

    // A folder whose name is not UTF-8 keeps its bytes when a ROM in it is renamed.
    const auto folder = dir.path() / "f\xE9";
    std::filesystem::create_directory(folder);
    std::filesystem::rename(dir.path() / odd, folder / odd);
    run = runCli({"rename", "--language", "1", "--dry-run", "f\xE9/" + odd}, cd);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "f\\xE9/" + shown + " -> f\\xE9/New\\tName.nds\n");
    const Outcome real = runCli({"rename", "--language", "1", "f\xE9/" + odd}, cd);
    EXPECT_EQ(real.out, run.out);
    EXPECT_EQ(folderNames(folder), (std::set<std::string>{"New\tName.nds"}));
    std::filesystem::remove_all(folder);
}

TEST_F(CliTest, DatabaseImportOfListsOfEachKind) {
    const auto logiqx = dir.path() / "first.dat", offline = dir.path() / "second.xml", tsv = dir.path() / "third.tsv";
    const auto dat = dir.path() / "nds-rom.dat";
    writeText(logiqx,
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<datafile>\n"
              " <header><name>Invented</name></header>\n"
              " <game name=\"Lantern Lake (Europe) (En,De)\">\n"
              "  <description>Lantern Lake &amp; Co (Europe) (En,De)</description>\n"
              "  <rom name=\"Lantern Lake (Europe) (En,De).nds\" size=\"1024\" crc=\"0badf00d\" serial=\"NTR-LLKP-EUR\"/>\n"
              " </game>\n"
              " <game name=\"No Code (USA)\"><rom name=\"n.nds\" size=\"1\" crc=\"1\"/></game>\n"
              " <game name=\"Twice\"><rom name=\"t.nds\" size=\"1\" serial=\"NTR-LLKP-EUR\"/></game>\n"
              "</datafile>\n");
    writeText(offline,
              "<?xml version=\"1.0\"?>\n<dat><games>\n"
              " <game><releaseNumber>12</releaseNumber><title>Lantern Lake</title><publisher>Velmora</publisher>"
              "<location>0</location><sourceRom>Tidepool</sourceRom><language>2</language><serial>NTR-LLKP-EUR</serial>"
              "<files><romCRC extension=\".nds\">CAFEBABE</romCRC></files></game>\n"
              " <game><title><![CDATA[Kite \xE2\x98\x85 Kid]]></title><location>7</location><language>256</language>"
              "<serial>KKDJ</serial></game>\n"
              "</games></dat>\n");
    writeText(tsv, kTsvHeader + "KKDJ\tNTR-KKDJ-JPN\tKite Kid (ours)\tJapan\tAction\tVelmora\t2\tNo\t0099\tGRP\t12345678\n");

    Outcome run = runCli({"db", "import", logiqx.string(), offline.string(), tsv.string(), "-o", dat.string(), "--version", "9"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, dat.string() +
                           ": 6 entries read, 2 written, 2 skipped (1 without a game code, 1 listed twice), 2 merged, "
                           "1 character replaced, version 9\n");
    EXPECT_EQ(run.err, "cartscope: " + logiqx.string() + ":8: no game code; skipped\ncartscope: " + logiqx.string() +
                           ":9: game code LLKP listed again; the first entry is kept\n");
    run = runCli({"db", "dump", dat.string()});
    EXPECT_EQ(run.out, kTsvHeader +
                           "KKDJ\tNTR-KKDJ-JPN\tKite ? Kid\tJapan\tAction\tVelmora\t2\tNo\t0099\tGRP\t12345678\n"
                           "LLKP\tNTR-LLKP-EUR\tLantern Lake & Co\tEurope\t\tVelmora\t9\t\t0012\tTidepool\t0BADF00D\n");
    run = runCli({"db", "lookup", dat.string(), "LLKP"});
    EXPECT_NE(run.out.find("Languages: 9 (eng,ger)\n"), std::string::npos) << run.out;
    EXPECT_EQ(runCli({"db", "version", dat.string()}).out, "9\n");

    // The dump read back as a list gives the same database.
    const auto dumped = dir.path() / "dumped.tsv", again = dir.path() / "again.dat";
    writeText(dumped, runCli({"db", "dump", dat.string()}).out);
    ASSERT_EQ(runCli({"db", "import", dumped.string(), "-o", again.string(), "--version", "9"}).status, 0);
    EXPECT_EQ(cartscope::testing::readFile(again), cartscope::testing::readFile(dat));
}

TEST_F(CliTest, DatabaseImportRefusesWhatItCannotRead) {
    const auto good = dir.path() / "good.dat", cut = dir.path() / "cut.dat", dat = dir.path() / "nds-rom.dat";
    const std::string list =
        "<datafile>\n <game name=\"A (USA)\">\n  <rom name=\"a.nds\" serial=\"AAAE\"/>\n </game>\n</datafile>\n";
    writeText(good, list);
    writeText(cut, list.substr(0, list.find("</game>") + 3));
    ASSERT_EQ(runCli({"db", "import", good.string(), "-o", dat.string(), "--version", "1"}).status, 0);
    const auto before = cartscope::testing::readFile(dat);

    Outcome run = runCli({"db", "import", good.string(), cut.string(), "-o", dat.string(), "--version", "2"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "cartscope: " + cut.string() + ":4: unclosed token\n");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(cartscope::testing::readFile(dat), before) << "nothing is written";
    run = runCli({"db", "import", (dir.path() / "missing.dat").string(), "-o", dat.string(), "--version", "2"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("No such file or directory"), std::string::npos) << run.err;

    EXPECT_EQ(runCli({"db", "import", good.string(), "-o", dat.string()}).status, 2) << "the version is required";
    EXPECT_EQ(runCli({"db", "import", "-o", dat.string(), "--version", "1"}).status, 2) << "a list is required";
    EXPECT_EQ(runCli({"db", "import", good.string(), "-o", good.string(), "--version", "1"}).status, 2);
    EXPECT_EQ(runCli({"db", "import", good.string(), "-o", dat.string(), "--version", "0"}).status, 2);
    // A skipped entry is named on one line, whatever its serial holds.
    const auto odd = dir.path() / "odd.dat";
    writeText(odd, "<datafile>\n<game name=\"x\"><serial>AB&#10;CDE</serial></game>\n</datafile>\n");
    run = runCli({"db", "import", odd.string(), good.string(), "-o", dat.string(), "--version", "3"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "cartscope: " + odd.string() + ":2: no game code of 4 letters or digits in \"AB\\nCDE\"; skipped\n");

    const Outcome help = runCli({"db", "import", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("OfflineList <location>"), std::string::npos) << help.out;
}

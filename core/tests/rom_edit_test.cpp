#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "core/tests/support/rom_builder.h"
#include "core/rom_edit.h"
#include "core/tests/support/temp_dir.h"

using namespace cartscope;
using cartscope::testing::buildRom;
using cartscope::testing::readFile;
using cartscope::testing::RomSpec;
using cartscope::testing::TempDir;

namespace {

class RomEditTest : public ::testing::Test {
protected:
    // Writes the ROM and loads it as the command program does (no flags).
    RomInfo put(const RomSpec& card, const std::string& name = "rom.nds") {
        path = dir.file(name);
        original = buildRom(card);
        cartscope::testing::writeFile(path, original);
        RomInfo rom;
        EXPECT_TRUE(rom.load(path, RomLoadFlags::None));
        return rom;
    }
    std::vector<std::uint8_t> bytes() const { return readFile(path); }

    // Whether this process can write a file that is marked read-only (root can).
    bool readOnlyIsEnforced() {
        const auto probe = dir.file("probe");
        cartscope::testing::writeFile(probe, {1});
        platform::setReadOnly(probe, true);
        platform::File file;
        return file.open(probe, platform::File::Mode::ReadWrite) != 0;
    }

    TempDir dir;
    std::u16string path;
    std::vector<std::uint8_t> original;
};

RomSpec rom(std::uint32_t used, std::uint64_t size, std::uint8_t padding = 0xFF) {
    RomSpec card;
    card.usedSize = used;
    card.fileSize = size;
    card.padding = padding;
    return card;
}

}  // namespace

TEST_F(RomEditTest, TrimCutsPaddingAndUntrimRestoresIt) {
    for (const OpenOrder order : {OpenOrder::TestFirst, OpenOrder::OpenFirst}) {
        RomInfo info = put(rom(0x5000, 0x8000));
        EditStatus status = EditStatus::AlreadyTrimmed;
        ASSERT_EQ(trimRom(info, order, &status), 0);
        EXPECT_EQ(status, EditStatus::Done);
        auto now = bytes();
        ASSERT_EQ(now.size(), 0x5200u);
        EXPECT_TRUE(std::equal(now.begin(), now.end(), original.begin()));

        ASSERT_TRUE(info.load(path, RomLoadFlags::None));
        EXPECT_TRUE(info.isTrimmed());
        ASSERT_EQ(untrimRom(info, order), 0);
        EXPECT_EQ(bytes(), original) << "untrim pads with 0xFF back to the card size";
    }
}

TEST_F(RomEditTest, ZeroPaddingMayBeCutToo) {
    RomInfo info = put(rom(0x5000, 0x8000, 0x00));
    ASSERT_EQ(trimRom(info), 0);
    EXPECT_EQ(bytes().size(), 0x5200u);
}

TEST_F(RomEditTest, TrimNeverCutsData) {
    struct Case {
        const char* what;
        std::size_t at;
        std::uint8_t value;
        std::uint64_t size = 0x8000;
    };
    // The tail is checked a megabyte at a time: the last case has its data
    // in the second piece.
    for (const Case c : {Case{"data at the end", 0x7FFF, 0x42}, Case{"data right at the cut", 0x5200, 0x00},
                         Case{"zeros then 0xFF", 0x5200, 0x00},
                         Case{"data past the first megabyte", 0x5200 + 0x100000 + 5, 0x42, 0x5200 + 0x180000}}) {
        SCOPED_TRACE(c.what);
        RomSpec card = rom(0x5000, c.size);
        RomInfo info = put(card);
        auto changed = original;
        changed[c.at] = c.value;
        if (std::string(c.what) == "zeros then 0xFF") std::fill(changed.begin() + 0x5200, changed.begin() + 0x6000, 0);
        cartscope::testing::writeFile(path, changed);
        for (const OpenOrder order : {OpenOrder::TestFirst, OpenOrder::OpenFirst}) {
            EXPECT_EQ(trimRom(info, order), TrimWouldCutData);
            EXPECT_EQ(bytes(), changed) << "nothing may change";
        }
    }
    EXPECT_EQ(editErrorText(TrimWouldCutData), u"data after the used area; not trimmed");
}

TEST_F(RomEditTest, DsiCodeIsKeptWhenTrimming) {
    RomSpec card = rom(0x3000, 0x10000);
    card.unitCode = 0x02;
    card.dsiUsedSize = 0x9000;
    RomInfo info = put(card);
    ASSERT_EQ(trimRom(info), 0);
    const auto now = bytes();
    ASSERT_EQ(now.size(), 0x9200u);
    EXPECT_TRUE(std::equal(now.begin(), now.end(), original.begin()));
}

TEST_F(RomEditTest, ShellFormLeavesTrimmedFilesAlone) {
    RomInfo info = put(rom(0x5000, 0x6000));  // already shorter than the card
    ASSERT_EQ(trimRom(info, OpenOrder::TestFirst), 0);
    EXPECT_EQ(bytes(), original);
    // And untrim leaves full files alone without opening them.
    RomInfo full = put(rom(0x5000, 0x8000), "full.nds");
    platform::setReadOnly(path, true);
    EXPECT_EQ(untrimRom(full, OpenOrder::TestFirst), 0);
}

TEST_F(RomEditTest, NoTrimEverLengthensAFile) {
    const struct {
        const char* what;
        RomSpec card;
    } cases[] = {
        {"exactly the trimmed size", rom(0x5000, 0x5200)},
        {"ends at its used size (homebrew)", rom(0x5000, 0x5000)},
        {"shorter than its trimmed size", rom(0x5000, 0x5100)},
        {"the card's size, used to within 512 bytes of it", rom(0x10000 - 100, 0x10000)},
        {"16 KiB whose header claims 2 GiB", rom(0x7FFFF000, 0x4000)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const OpenOrder order : {OpenOrder::TestFirst, OpenOrder::OpenFirst}) {
            RomInfo info = put(c.card);
            EditStatus status = EditStatus::Done;
            ASSERT_EQ(trimRom(info, order, &status), 0);
            EXPECT_EQ(bytes(), original);
            if (order == OpenOrder::OpenFirst || !info.isTrimmed()) {
                EXPECT_EQ(status, EditStatus::AlreadyTrimmed);
            }
        }
    }
    // One byte past the trimmed size is still cut.
    RomInfo info = put(rom(0x5000, 0x5201));
    EditStatus status = EditStatus::AlreadyTrimmed;
    ASSERT_EQ(trimRom(info, OpenOrder::OpenFirst, &status), 0);
    EXPECT_EQ(status, EditStatus::Done);
    EXPECT_EQ(bytes().size(), 0x5200u);
}

TEST_F(RomEditTest, UntrimPadsToTheCardAndNeverShortens) {
    RomInfo info = put(rom(0x5000, 0x8000 - 1000));
    ASSERT_EQ(untrimRom(info, OpenOrder::OpenFirst), 0);
    const auto now = bytes();
    ASSERT_EQ(now.size(), 0x8000u);
    EXPECT_TRUE(std::equal(original.begin(), original.end(), now.begin()));
    EXPECT_TRUE(std::all_of(now.begin() + (0x8000 - 1000), now.end(), [](std::uint8_t b) { return b == 0xFF; }));

    // Longer than the card: unchanged, and still a success.
    info = put(rom(0x5000, 0x8000 + 100));
    for (const OpenOrder order : {OpenOrder::TestFirst, OpenOrder::OpenFirst}) {
        ASSERT_EQ(untrimRom(info, order), 0);
        EXPECT_EQ(bytes(), original);
    }
}

TEST_F(RomEditTest, FilesThatCannotBeOpenedReportErrno) {
    RomInfo info = put(rom(0x5000, 0x8000));
    info.path = dir.file("gone.nds");
    EXPECT_EQ(trimRom(info), ENOENT);
    EXPECT_EQ(untrimRom(info, OpenOrder::OpenFirst), ENOENT);
    EXPECT_FALSE(editErrorText(ENOENT).empty());
}

namespace {

// What the edits give for read-only files: {trim of an untrimmed file (shell
// form), trim of a trimmed file (program form), untrim (program form)}.
std::array<int, 3> editReadOnly(const RomInfo& untrimmed, const RomInfo& trimmed) {
    return {trimRom(untrimmed, OpenOrder::TestFirst), trimRom(trimmed, OpenOrder::OpenFirst),
            untrimRom(trimmed, OpenOrder::OpenFirst)};
}

}  // namespace

TEST_F(RomEditTest, ReadOnlyFilesAreNotChanged) {
    RomInfo untrimmed = put(rom(0x5000, 0x8000), "untrimmed.nds");
    const auto untrimmedPath = path;
    const auto untrimmedBytes = original;
    RomInfo trimmed = put(rom(0x5000, 0x5200), "trimmed.nds");
    const std::array<int, 3> denied = {EACCES, EACCES, EACCES};

    if (readOnlyIsEnforced()) {
        platform::setReadOnly(untrimmedPath, true);
        platform::setReadOnly(path, true);
        EXPECT_EQ(editReadOnly(untrimmed, trimmed), denied);
    } else {
#ifdef _WIN32
        GTEST_SKIP() << "Wine lets a root user write read-only files";
#else
        // Root writes read-only files anyway: try as an ordinary user, who owns the files.
        for (const auto& p : {untrimmedPath, path}) {
            ASSERT_EQ(chown(dir.path().c_str(), 65534, 65534), 0);
            ASSERT_EQ(chown(std::filesystem::path(p).c_str(), 65534, 65534), 0);
            platform::setReadOnly(p, true);
        }
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
            _exit(editReadOnly(untrimmed, trimmed) == denied ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "1: an edit was not refused; 2: could not become an ordinary user";
#endif
    }
    EXPECT_EQ(readFile(untrimmedPath), untrimmedBytes);
    EXPECT_EQ(bytes(), original);
}

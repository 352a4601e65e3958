// The command program's start-up: arguments, path files, the command table,
// loading and renaming ROMs, the restart mutex.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "cmd/cleanup.h"
#include "core/tests/support/rom_builder.h"
#include "cmd/startup.h"
#include "core/tests/support/temp_dir.h"
#include "win/handle.h"

using namespace cartscope;
using namespace cartscope::cmd;
using cartscope::testing::buildRom;
using cartscope::testing::RomSpec;

namespace {

std::vector<std::uint8_t> utf16(const std::wstring& text) {
    std::vector<std::uint8_t> bytes;
    for (wchar_t unit : text) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return bytes;
}

class StartupTest : public ::testing::Test {
protected:
    std::wstring pathFile(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        cartscope::testing::writeFile(dir.path() / name, bytes);
        return (dir.path() / name).wstring();
    }
    Arguments read(const std::vector<std::wstring>& args) {
        shown.clear();
        return readArguments(args, [this](const std::wstring& path) { shown.push_back(path); });
    }
    cartscope::testing::TempDir dir;
    std::vector<std::wstring> shown;
};

}  // namespace

TEST_F(StartupTest, CommandsAndTheirDefault) {
    EXPECT_EQ(read({}).command, L"settings") << "no arguments at all";
    EXPECT_EQ(read({L""}).command, L"settings") << "the first element is skipped";
    EXPECT_EQ(read({L"", L"/command:"}).command, L"settings");
    EXPECT_EQ(read({L"/command:trim"}).command, L"settings") << "even when it looks like a switch";
    EXPECT_EQ(read({L"", L"/command:Trim"}).command, L"Trim");
    EXPECT_EQ(commandFor(L"Trim"), Command::None);
    EXPECT_EQ(read({L"", L"/command:trim", L"/command:info"}).command, L"info") << "the later switch wins";
    EXPECT_EQ(read({L"", L"/COMMAND:info", L"something"}).command, L"settings");
    EXPECT_EQ(commandFor(L"info"), Command::Info);
}

TEST_F(StartupTest, LanguageIsReadAsWcstoulReadsIt) {
    struct Case {
        const wchar_t* value;
        unsigned long language;
        bool stop;
    };
    for (const Case c :
         {Case{L"0", 0, false}, Case{L"5", 5, false}, Case{L"6", 6, true}, Case{L"-1", 0xFFFFFFFFul, true}, Case{L"", 0, false},
          Case{L"abc", 0, false}, Case{L" 3", 3, false}, Case{L"+2", 2, false}, Case{L"4x", 4, false}, Case{L"07", 7, true}}) {
        const Arguments a = read({L"", std::wstring(L"/language:") + c.value, L"/command:rename"});
        EXPECT_EQ(a.stop, c.stop) << std::string(c.value, c.value + wcslen(c.value));
        EXPECT_EQ(a.language, c.language);
        if (c.stop) {
            EXPECT_EQ(a.command, L"") << "nothing after the language is read";
        }
    }
    // Path files before a language above 5 are read and gone already.
    const auto file = pathFile("before", utf16(std::wstring(L"C:\\a.nds") + L'\0'));
    const Arguments a = read({L"", L"/pathfile:" + file, L"/language:9", L"/pathfile:" + file});
    EXPECT_TRUE(a.stop);
    EXPECT_EQ(shown, std::vector<std::wstring>{L"C:\\a.nds"});
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(StartupTest, PathFilesAreSplitAndDeleted) {
    const auto first = pathFile("first", utf16(std::wstring(L"C:\\1.nds") + L'\0' + L"C:\\2.nds" + L'\0'));
    const auto second = pathFile("second", utf16(L"C:\\3.nds"));
    const auto empty = pathFile("empty", {});
    const Arguments a = read({L"", L"/command:trim", L"/pathfile:" + first, L"/pathfile:" + empty, L"/pathfile:" + second,
                              L"/pathfile:" + first, L"/pathfile:" + (dir.path() / "missing").wstring()});
    EXPECT_EQ(a.paths, (std::vector<std::wstring>{L"C:\\1.nds", L"C:\\2.nds", L"C:\\3.nds"})) << "the same file is read once";
    EXPECT_EQ(shown, a.paths) << "each path is shown as it is taken";
    EXPECT_FALSE(std::filesystem::exists(first));
    EXPECT_FALSE(std::filesystem::exists(second));
    EXPECT_FALSE(std::filesystem::exists(empty));

    // With "settings" too: shown and deleted, though the command does not use them.
    const auto third = pathFile("third", utf16(L"C:\\x.nds"));
    EXPECT_EQ(read({L"", L"/pathfile:" + third}).command, L"settings");
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(third));
}

TEST_F(StartupTest, LoadingKeepsOnlyRoms) {
    RomSpec card;
    card.titles[English] = u"Game";
    cartscope::testing::writeFile(dir.path() / "a.nds", buildRom(card));
    cartscope::testing::writeFile(dir.path() / "b.nds", {1, 2, 3});
    const std::vector<std::wstring> paths = {(dir.path() / "a.nds").wstring(), (dir.path() / "b.nds").wstring(),
                                             (dir.path() / "c.nds").wstring()};
    const auto trim = loadRoms(paths, Command::Trim);
    ASSERT_EQ(trim.size(), 1u);
    EXPECT_TRUE(trim[0].shortTitles[English].empty()) << "trim reads no banner";
    const auto rename = loadRoms(paths, Command::Rename);
    ASSERT_EQ(rename.size(), 1u);
    EXPECT_EQ(rename[0].shortTitles[English], u"Game");
}

TEST_F(StartupTest, RenameByLanguageWithFallbacks) {
    RomSpec french, english, none, same;
    french.titles = {u"", u"Game", u"Jeu", u"", u"", u""};
    english.titles = {u"Japanese", u"Other", u"", u"", u"", u""};
    none.titles = {u"", u"", u"", u"", u"", u""};
    same.titles = {u"", u"Same", u"", u"", u"", u""};
    cartscope::testing::writeFile(dir.path() / "1.nds", buildRom(french));
    cartscope::testing::writeFile(dir.path() / "2.nds", buildRom(english));
    cartscope::testing::writeFile(dir.path() / "3.nds", buildRom(none));
    cartscope::testing::writeFile(dir.path() / "Same.nds", buildRom(same));
    const auto roms = loadRoms({(dir.path() / "1.nds").wstring(), (dir.path() / "2.nds").wstring(),
                                (dir.path() / "3.nds").wstring(), (dir.path() / "Same.nds").wstring()},
                               Command::Rename);
    renameRoms(roms, 2, u"%T");
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "Jeu.nds"));
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "Other.nds")) << "no French title: English";
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "3.nds")) << "no title at all: left alone";
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "Same.nds"));
}

TEST(RestartMutex, CleanupWaitsForTheUpdatingInstance) {
    EXPECT_TRUE(asksForCleanup(L"\"C:\\Cartscope CMD.exe\" /command:cleanup"));
    EXPECT_TRUE(asksForCleanup(L"x /pathfile:\"C:\\dir/command:cleanup\\p\""));
    EXPECT_FALSE(asksForCleanup(L"x /command:Cleanup"));
    EXPECT_FALSE(asksForCleanup(nullptr));

    waitForRestartMutex();  // nobody holds it: returns at once

    // An updating instance (here a thread) owns the mutex for a while.
    std::atomic<bool> owned{false}, released{false};
    std::thread updater([&] {
        const cartscope::win::Handle mutex(CreateMutexW(nullptr, TRUE, L"Cartscope-RESTART_MUTEX"));
        owned = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        released = true;
        ReleaseMutex(mutex.get());
    });
    while (!owned) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    waitForRestartMutex();
    EXPECT_TRUE(released) << "the wait ended before the owner let go";
    updater.join();
    closeRestartMutex();
}

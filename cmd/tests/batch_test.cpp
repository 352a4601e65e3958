// The real "Cartscope CMD.exe" started as the context menu starts it, driven
// as a user would: the path message boxes are answered, the log is read, the
// files are checked.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "testing/gui_driver.h"
#include "core/platform/data_folder.h"
#include "testing/program_driver.h"
#include "core/release_database.h"
#include "core/tests/support/rom_builder.h"
#include "core/tests/support/temp_dir.h"
#include "win/handle.h"
#include "win/library.h"
#include "win/module_path.h"
#include "win/path.h"
#include "win/process.h"
#include "win/reg_key.h"

using cartscope::testing::buildRom;
using cartscope::testing::RomSpec;

using cartscope::gui_testing::DriveOptions;
using cartscope::gui_testing::driveProgram;
using cartscope::gui_testing::ProgramRun;

namespace {

std::wstring programPath() { return cartscope::win::besideModule(nullptr, L"Cartscope CMD.exe"); }

class BatchTest : public ::testing::Test {
protected:
    std::filesystem::path put(const std::string& name, const RomSpec& card) {
        cartscope::testing::writeFile(dir.path() / name, buildRom(card));
        return dir.path() / name;
    }

    // Starts the program with a command and a path file of `roms`, and
    // drives it until it ends.
    ProgramRun runProgram(const std::wstring& command, const std::vector<std::filesystem::path>& roms,
                          const DriveOptions& options = {}) {
        const auto list = dir.path() / "paths.tmp";
        {
            std::ofstream out(list, std::ios::binary);
            for (const auto& rom : roms) {
                const std::wstring path = rom.wstring();
                out.write(reinterpret_cast<const char*>(path.c_str()), static_cast<std::streamsize>((path.size() + 1) * 2));
            }
        }
        const cartscope::win::StartedProcess process = cartscope::win::startProcess(
            programPath().c_str(), L" /command:" + command + L" /pathfile:\"" + list.wstring() + L"\"");
        if (!process) {
            ADD_FAILURE() << "cannot start the program";
            return {};
        }
        const ProgramRun result = driveProgram(process.process.get(), options);
        EXPECT_FALSE(std::filesystem::exists(list)) << "the program deletes its path file";
        return result;
    }

    cartscope::testing::TempDir dir;
};

RomSpec untrimmed() {
    RomSpec card;
    card.usedSize = 0x5000;  // a 32 KiB card
    return card;
}

}  // namespace

TEST_F(BatchTest, TrimThreeFilesAndCloseByItself) {
    const std::vector<std::filesystem::path> roms = {put("A.nds", untrimmed()), put("B.nds", untrimmed()),
                                                     put("C.nds", untrimmed())};
    const ProgramRun result = runProgram(L"trim", roms);
    EXPECT_TRUE(result.ended) << "the dialog closes by itself when every file succeeded";
    ASSERT_EQ(result.shownPaths.size(), 3u);
    for (std::size_t i = 0; i < roms.size(); ++i) {
        EXPECT_EQ(result.shownPaths[i], roms[i].wstring());
        const auto bytes = cartscope::testing::readFile(roms[i]);
        ASSERT_EQ(bytes.size(), 0x5200u);
        const auto original = buildRom(untrimmed());
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), original.begin()));
    }
}

TEST_F(BatchTest, AFailedFileIsLoggedAndTheDialogWaitsForClose) {
    std::vector<std::filesystem::path> roms;
    for (const char* name : {"1.nds", "2.nds", "3.nds", "4.nds", "5.nds"}) roms.push_back(put(name, untrimmed()));
    // Root may write read-only files under Wine; a file held open that others
    // may read but not write fails the same way for the program (it loads
    // the file, then cannot open it for writing).
    cartscope::win::Handle held(
        CreateFileW(roms[2].wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_NE(held.get(), INVALID_HANDLE_VALUE);
    const ProgramRun result = runProgram(L"trim", roms);
    held.reset();
    EXPECT_TRUE(result.ended) << "closed through its Close button";
    EXPECT_EQ(result.buttonText, L"Close");
    EXPECT_TRUE(result.waitedForClose);
    EXPECT_EQ(result.aboutFields, (std::vector<std::wstring>{L"v", L"v", L"v"})) << "the plain about box";
    EXPECT_EQ(result.log,
              L"trim:\t1.nds\r\n\t--> done\r\n"
              L"trim:\t2.nds\r\n\t--> done\r\n"
              L"trim:\t3.nds\r\n\t--> Permission denied\r\n"
              L"trim:\t4.nds\r\n\t--> done\r\n"
              L"trim:\t5.nds\r\n\t--> done\r\n");
    EXPECT_EQ(std::filesystem::file_size(roms[2]), 0x8000u);
    EXPECT_EQ(std::filesystem::file_size(roms[4]), 0x5200u);
}

TEST_F(BatchTest, UntrimPadsWithFF) {
    RomSpec card = untrimmed();
    card.fileSize = 0x8000 - 1000;
    const auto rom = put("Short.nds", card);
    const ProgramRun result = runProgram(L"untrim", {rom});
    EXPECT_TRUE(result.ended);
    const auto bytes = cartscope::testing::readFile(rom);
    ASSERT_EQ(bytes.size(), 0x8000u);
    EXPECT_TRUE(std::all_of(bytes.end() - 1000, bytes.end(), [](std::uint8_t b) { return b == 0xFF; }));
}

TEST_F(BatchTest, NothingToDoForFilesThatAreNotRoms) {
    cartscope::testing::writeFile(dir.path() / "x.nds", {1, 2, 3});
    const ProgramRun result = runProgram(L"trim", {dir.path() / "x.nds"});
    EXPECT_TRUE(result.ended);
    EXPECT_EQ(result.shownPaths.size(), 1u);
    EXPECT_EQ(result.log, L"") << "no log dialog";
}

TEST_F(BatchTest, CancelFinishesTheFileInHandAndTouchesNoMore) {
#ifndef CARTSCOPE_TEST_HOOKS
    GTEST_SKIP() << "built without the test hooks: Cancel would race with the worker";
#endif
    // Enter, pressed on the way, must not end the dialog while the worker runs.
    // The worker holds at the second file until Cancel has been pressed.
    RomSpec card = untrimmed();
    card.fileSize = 0x2000;
    std::vector<std::filesystem::path> roms;
    for (const char* name : {"1.nds", "2.nds", "3.nds", "4.nds", "5.nds"}) roms.push_back(put(name, card));
    const cartscope::gui_testing::HoldForCancelAt hold(2);
    const ProgramRun result = runProgram(L"untrim", roms, {L"2.nds", true});
    EXPECT_TRUE(result.ended) << "closes by itself: no file failed";
    EXPECT_EQ(std::filesystem::file_size(roms[0]), 0x8000u);
    EXPECT_EQ(std::filesystem::file_size(roms[1]), 0x8000u) << "the file in hand is finished";
    for (std::size_t i = 2; i < roms.size(); ++i) EXPECT_EQ(std::filesystem::file_size(roms[i]), 0x2000u) << i;
    EXPECT_EQ(result.log.rfind(L"untrim:\t1.nds\r\n\t--> done\r\nuntrim:\t2.nds\r\n", 0), 0u) << "as last seen";
    EXPECT_EQ(result.log.find(L"3.nds"), std::wstring::npos);
}

TEST_F(BatchTest, RenameByBannerTitleWithoutADialog) {
    RomSpec french, english;
    french.titles = {u"", u"Game", u"Jeu", u"", u"", u""};
    english.titles = {u"", u"Other", u"", u"", u"", u""};
    const auto a = put("a.nds", french), b = put("b.nds", english);
    const ProgramRun result = runProgram(L"rename /language:2", {a, b});
    EXPECT_TRUE(result.ended);
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "Jeu.nds"));
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "Other.nds"));
}

TEST(ProgramResources, TextsTemplatesAndIcon) {
    const cartscope::win::Library loaded(programPath().c_str(), LOAD_LIBRARY_AS_DATAFILE);
    const HMODULE program = loaded.get();
    ASSERT_NE(program, nullptr);
    wchar_t text[128] = {};
    EXPECT_GT(LoadStringW(program, 101, text, 128), 0);
    EXPECT_EQ(std::wstring(text), L"&Info \u00FCber Cartscope CMD...");
    EXPECT_NE(FindResourceW(program, MAKEINTRESOURCEW(102), MAKEINTRESOURCEW(5) /* RT_DIALOG */), nullptr);
    EXPECT_NE(FindResourceW(program, MAKEINTRESOURCEW(100), MAKEINTRESOURCEW(5)), nullptr);
    // Icon group 128: four images, in this order.
    HRSRC group = FindResourceW(program, MAKEINTRESOURCEW(128), MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */);
    ASSERT_NE(group, nullptr);
    const auto* directory = static_cast<const BYTE*>(LockResource(LoadResource(program, group)));
    ASSERT_NE(directory, nullptr);
    ASSERT_GE(SizeofResource(program, group), 6u + 4 * 14);
    std::vector<std::pair<int, int>> images;  // size, bits per pixel
    for (int i = 0; i < directory[4]; ++i) {
        const BYTE* entry = directory + 6 + 14 * i;
        images.emplace_back(entry[0], entry[6] | entry[7] << 8);
    }
    EXPECT_EQ(images, (std::vector<std::pair<int, int>>{{16, 8}, {16, 24}, {64, 32}, {16, 32}}));
    EXPECT_NE(FindResourceW(program, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24) /* RT_MANIFEST */), nullptr);
}

// The clean-up instance as the updater starts it, beside copies left by an
// update.
class CleanupRun : public ::testing::Test {
protected:
    void SetUp() override {
        install = dir.path() / "install dir";
        std::filesystem::create_directories(install);
        std::filesystem::copy_file(programPath(), install / "Cartscope CMD.exe");
    }

    // The installed program, started with `command` as the updater, the
    // library or the autostart entry would start it.
    using Started = cartscope::gui_testing::StartedProgram;
    Started start(const std::wstring& command) {
        Started started = cartscope::gui_testing::startProgram((install / "Cartscope CMD.exe").wstring(), L"/command:" + command);
        if (!started.process) ADD_FAILURE() << "cannot start the program";
        return started;
    }
    // Expects the program to have ended by itself, and ends it otherwise.
    static void expectEnded(const Started& started) {
        if (!started.process) return;
        EXPECT_FALSE(started.running(5000)) << "the program ends by itself";
        if (started.running()) TerminateProcess(started.process.get(), 1);
    }

    // Starts the clean-up; answers the restart question with `answer` when
    // it comes and returns its text.
    std::wstring run(const wchar_t* answer) {
        const Started program = start(L"cleanup");
        std::wstring question;
        for (int i = 0; i < 3000 && program.process && program.running(20); ++i) {
            HWND box = cartscope::gui_testing::findDialog(L"Cartscope CMD", 0, program.id);
            if (!box) continue;
            question = cartscope::gui_testing::windowText(GetDlgItem(box, 0xFFFF));
            cartscope::gui_testing::screenshot(box, "restart-question.png");
            cartscope::gui_testing::press(cartscope::gui_testing::buttonWithText(box, answer), box);
        }
        expectEnded(program);
        return question;
    }

    cartscope::testing::TempDir dir;
    std::filesystem::path install;
};

TEST_F(CleanupRun, OldCopiesNotInUseGoWithoutAQuestion) {
    for (const char* name : {"Cartscope CMD.exe.old", "Cartscope.dll.old"}) std::ofstream(install / name) << "old";
    EXPECT_EQ(run(L"&No"), L"");
    EXPECT_FALSE(std::filesystem::exists(install / "Cartscope CMD.exe.old"));
    EXPECT_FALSE(std::filesystem::exists(install / "Cartscope.dll.old"));
    EXPECT_EQ(run(L"&No"), L"") << "nothing left: nothing shown";
}

TEST_F(CleanupRun, ALibraryInUseAsksToRestartTheExplorer) {
    std::ofstream(install / "Cartscope.dll.old") << "old";
    const cartscope::win::Handle held(CreateFileW((install / "Cartscope.dll.old").wstring().c_str(), GENERIC_READ,
                                                  FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    // "No": answering "Yes" would end the Explorer of this Wine prefix.
    EXPECT_EQ(run(L"&No"), L"The Windows Explorer must be restarted \nto complete the update !\n\nRestart now?");
    EXPECT_TRUE(std::filesystem::exists(install / "Cartscope.dll.old")) << "left for the next start of Windows";
}

// The update commands against the local test server (run_with_servers.sh).
class UpdateRun : public CleanupRun {
protected:
    void SetUp() override {
        const char* www = std::getenv("CARTSCOPE_TEST_WWW");
        const char* server = std::getenv("CARTSCOPE_TEST_HTTP");
        if (!www || !server) GTEST_SKIP() << "no test server (run through run_with_servers.sh)";
        served = www;
        for (const auto& entry : std::filesystem::directory_iterator(served)) std::filesystem::remove_all(entry.path());
        SetEnvironmentVariableA("CARTSCOPE_UPDATE_SERVER", server);
        CleanupRun::SetUp();
    }
    void TearDown() override { SetEnvironmentVariableA("CARTSCOPE_UPDATE_SERVER", nullptr); }

    // Runs the program with `command`; presses the button `answer` (by its
    // text) in every box it shows, and returns the boxes' texts.
    std::vector<std::wstring> runCommand(const std::wstring& command, const wchar_t* answer) {
        const Started program = start(command);
        std::vector<std::wstring> texts;
        for (int i = 0; i < 3000 && program.process && program.running(20); ++i) {
            HWND box = cartscope::gui_testing::findDialog(L"Cartscope CMD", 0, program.id);
            if (!box) continue;
            texts.push_back(cartscope::gui_testing::windowText(GetDlgItem(box, 0xFFFF)));
            HWND button = cartscope::gui_testing::buttonWithText(box, answer);
            cartscope::gui_testing::press(button ? button : cartscope::gui_testing::firstButton(box), box);
        }
        expectEnded(program);
        return texts;
    }

    std::filesystem::path served;
};

TEST_F(UpdateRun, AMissingLibraryIsFetchedAfterTheQuestion) {
    std::ofstream(served / "version.txt", std::ios::binary) << "cmd_exe:1.2.0.0\r\ndll:1.0.0.5\r\n";
    // A 64-bit library that carries nothing but its version resource.
    const std::wstring program = programPath();
    std::filesystem::copy_file(cartscope::win::besidePath(program, L"update\\v1005_x64.dll"), served / "Cartscope.dll");
    const auto texts = runCommand(L"update", L"&Yes");
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], L"An update is aviable!\n\nCartscope.dll\n    v --> v1.0.0.5\n\n\n\nDo you wish update now?")
        << "the program itself is not newer";
    EXPECT_EQ(texts[1], L"\nCartscope.dll:\tUpdate ok (v1.0.0.5)");
    EXPECT_TRUE(std::filesystem::exists(install / "Cartscope.dll"));
}

TEST_F(UpdateRun, NothingNewerEndsQuietlyWhenAutomatic) {
    std::ofstream(served / "version.txt", std::ios::binary) << "cmd_exe:1.2.0.0\r\n";
    EXPECT_EQ(runCommand(L"update", L"OK"), std::vector<std::wstring>{L"No new Updates available."});
    EXPECT_TRUE(runCommand(L"auto_update", L"OK").empty());
    cartscope::win::RegKey key;
    ASSERT_EQ(key.open(HKEY_CURRENT_USER, L"SOFTWARE\\Velmora\\Cartscope", KEY_QUERY_VALUE), ERROR_SUCCESS);
    ULONGLONG last = 0;
    DWORD size = sizeof last;
    EXPECT_EQ(RegQueryValueExW(key.get(), L"last_update", nullptr, nullptr, reinterpret_cast<BYTE*>(&last), &size),
              ERROR_SUCCESS);
    EXPECT_GT(last, 1'700'000'000u) << "the check is recorded";
}

// The about box of the command "info", with the versions of what is installed.
class InfoRun : public CleanupRun {
protected:
    // Runs "/command:info" and returns the three version fields.
    std::vector<std::wstring> versions() {
        const Started program = start(L"info");
        std::vector<std::wstring> fields;
        for (int i = 0; i < 1000 && program.process && program.running(20); ++i) {
            HWND about = cartscope::gui_testing::findDialog(L"Cartscope", 1016, program.id);
            if (!about) continue;
            for (int id : {1016, 1017, 1018}) fields.push_back(cartscope::gui_testing::windowText(GetDlgItem(about, id)));
            cartscope::gui_testing::screenshot(about, "about-box.png");
            cartscope::gui_testing::press(GetDlgItem(about, IDOK), about);
        }
        expectEnded(program);
        return fields;
    }
};

TEST_F(InfoRun, ShowsTheInstalledVersions) {
    const auto folder = cartscope::platform::dataFolder();
    ASSERT_TRUE(folder.has_value());
    const std::filesystem::path data{std::u16string(*folder)};
    const std::filesystem::path database = data / "nds-rom.dat";
    const std::filesystem::path kept = data / "nds-rom.dat.kept-by-test";
    std::filesystem::create_directories(data);
    if (std::filesystem::exists(database)) std::filesystem::rename(database, kept);
    cartscope::Release release;
    release.gameCode = "ABCE";
    release.fields = {"1", "Game", "Maker", "USA", "", "", "", "", "", ""};
    std::vector<std::uint8_t> bytes;
    ASSERT_EQ(cartscope::buildDatabase(37, {release}, bytes), "");
    cartscope::testing::writeFile(database, bytes);

    // The 32-bit program passes for a 32-bit library.
    std::filesystem::copy_file(programPath(), install / "Cartscope.dll");
    EXPECT_EQ(versions(), (std::vector<std::wstring>{L"v1.2.0.0", L"v1.2.0.0 (x86)", L"v37"}));

    std::filesystem::remove(database);
    if (std::filesystem::exists(kept)) std::filesystem::rename(kept, database);
    std::filesystem::remove(install / "Cartscope.dll");
    EXPECT_EQ(versions(), (std::vector<std::wstring>{L"v1.2.0.0", L"v", L"v0"})) << "no library, no database";

    // A library built for another machine, without a version resource.
    std::vector<std::uint8_t> other(256, 0);
    other[0] = 'M', other[1] = 'Z', other[60] = 64, other[64] = 'P', other[65] = 'E', other[68] = 0x64, other[69] = 0xAA;
    cartscope::testing::writeFile(install / "Cartscope.dll", other);
    EXPECT_EQ(versions().at(1), L"v");
}

// The settings dialog of the command "settings", with the settings and the
// autostart entry in the registry.
class SettingsRun : public CleanupRun {
protected:
    static constexpr wchar_t kSettingsKey[] = L"SOFTWARE\\Velmora\\Cartscope";
    static constexpr wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

    void SetUp() override {
        CleanupRun::SetUp();
        clear();
    }
    void TearDown() override { clear(); }

    static void clear() {
        for (const wchar_t* name : {L"settings", L"rename_pattern", L"rename_mode"})
            RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettingsKey, name);
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, L"Cartscope");
    }
    static void setDword(const wchar_t* key, const wchar_t* name, DWORD value) {
        RegSetKeyValueW(HKEY_CURRENT_USER, key, name, REG_DWORD, &value, sizeof value);
    }
    static void setString(const wchar_t* key, const wchar_t* name, const std::wstring& value) {
        RegSetKeyValueW(HKEY_CURRENT_USER, key, name, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * 2));
    }
    static std::optional<DWORD> dword(const wchar_t* name) {
        DWORD value = 0, size = sizeof value;
        if (RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, name, RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS)
            return {};
        return value;
    }
    static std::optional<std::wstring> string(const wchar_t* key, const wchar_t* name) {
        wchar_t value[1024] = {};
        DWORD size = sizeof value;
        if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS) return {};
        return std::wstring(value);
    }

    // What the dialog showed when it opened.
    struct Shown {
        std::vector<bool> modes;
        std::wstring pattern;
        bool balloon = false;     // a balloon came after OK
        bool stayedOpen = false;  // the dialog was still there after OK
        std::vector<std::wstring> aboutFields;
    };

    // Opens the settings, lets `act` work on the dialog, then presses OK (and,
    // when the dialog stays, Cancel).
    Shown run(const std::function<void(HWND)>& act = {}, bool openInfo = false) {
        const Started program = start(L"settings");
        Shown shown;
        HWND dialog = nullptr;
        for (int i = 0; i < 500 && program.process && !dialog; ++i) {
            dialog = cartscope::gui_testing::findDialog(L"Cartscope Settings", 1015, program.id);
            if (!dialog) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (!dialog) {
            ADD_FAILURE() << "no settings dialog";
            expectEnded(program);
            return shown;
        }
        for (int id : {1011, 1012, 1013})
            shown.modes.push_back(SendMessageW(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED);
        shown.pattern = cartscope::gui_testing::windowText(GetDlgItem(dialog, 1015));
        if (openInfo) {
            PostMessageW(GetDlgItem(dialog, 1017), BM_CLICK, 0, 0);
            for (int i = 0; i < 500 && shown.aboutFields.empty(); ++i) {
                if (HWND about = cartscope::gui_testing::findDialog(L"Cartscope", 1016, program.id)) {
                    for (int id : {1016, 1017, 1018})
                        shown.aboutFields.push_back(cartscope::gui_testing::windowText(GetDlgItem(about, id)));
                    cartscope::gui_testing::press(GetDlgItem(about, IDOK), about);
                } else {
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                }
            }
        }
        if (act) act(dialog);
        PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
        if (program.running(1500)) {
            shown.stayedOpen = IsWindow(dialog) && IsWindowVisible(dialog);
            shown.balloon = balloonOf(program.id);
            cartscope::gui_testing::screenshot(dialog, "settings-invalid-pattern.png");
            PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        }
        expectEnded(program);
        return shown;
    }

    struct TipSearch {
        DWORD process;
        bool found = false;
    };
    static BOOL CALLBACK findTip(HWND window, LPARAM parameter) {
        auto* search = reinterpret_cast<TipSearch*>(parameter);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        wchar_t name[64] = {};
        GetClassNameW(window, name, 64);
        if (owner == search->process && std::wstring(name) == L"tooltips_class32" && IsWindowVisible(window))
            search->found = true;
        return TRUE;
    }
    static bool balloonOf(DWORD process) {
        TipSearch search{process};
        EnumWindows(findTip, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    static void setPattern(HWND dialog, const std::wstring& text) {
        SendMessageW(GetDlgItem(dialog, 1015), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
};

TEST_F(SettingsRun, ShowsWhatIsInForceAndStoresIt) {
    Shown shown = run();
    EXPECT_EQ(shown.modes, (std::vector<bool>{false, false, true})) << "nothing stored: on folder open";
    EXPECT_EQ(shown.pattern, L"%T") << "the default pattern";
    EXPECT_EQ(dword(L"settings"), 0u) << "OnFolderOpen is stored as 0";
    EXPECT_EQ(string(kSettingsKey, L"rename_pattern"), L"%T") << "OK stores the default too";

    setDword(kSettingsKey, L"settings", 1);  // decodes to none of the modes
    setString(kRunKey, L"Cartscope", L"stale");
    shown = run();
    EXPECT_EQ(shown.modes, (std::vector<bool>{false, false, false}));
    EXPECT_EQ(dword(L"settings"), 2u) << "Manual";
    EXPECT_FALSE(string(kRunKey, L"Cartscope").has_value()) << "no autostart entry";
}

TEST_F(SettingsRun, AutostartFollowsTheMode) {
    run([](HWND dialog) {
        PostMessageW(GetDlgItem(dialog, 1012), BM_CLICK, 0, 0);
        setPattern(dialog, L"[%N] %T");
    });
    EXPECT_EQ(dword(L"settings"), 3u) << "AtWindowsStart";
    EXPECT_EQ(string(kSettingsKey, L"rename_pattern"), L"[%N] %T");
    EXPECT_EQ(string(kRunKey, L"Cartscope"), L"\"" + (install / "Cartscope CMD.exe").wstring() + L"\" /command:auto_update")
        << "quoted: the path holds a blank";

    const Shown shown = run([](HWND dialog) { PostMessageW(GetDlgItem(dialog, 1011), BM_CLICK, 0, 0); });
    EXPECT_EQ(shown.modes, (std::vector<bool>{false, true, false}));
    EXPECT_EQ(shown.pattern, L"[%N] %T");
    EXPECT_FALSE(string(kRunKey, L"Cartscope").has_value());
}

TEST_F(SettingsRun, AnInvalidPatternStoresNothing) {
    Shown shown = run([](HWND dialog) {
        PostMessageW(GetDlgItem(dialog, 1012), BM_CLICK, 0, 0);
        setPattern(dialog, L"");
    });
    EXPECT_TRUE(shown.stayedOpen);
    EXPECT_TRUE(shown.balloon);
    EXPECT_FALSE(dword(L"settings").has_value()) << "not even the mode";
    EXPECT_FALSE(string(kSettingsKey, L"rename_pattern").has_value());

    // Longer than any reader would take.
    shown = run([](HWND dialog) { setPattern(dialog, L"%T" + std::wstring(298, L'x')); });
    EXPECT_TRUE(shown.stayedOpen);
    EXPECT_FALSE(string(kSettingsKey, L"rename_pattern").has_value());
}

TEST_F(SettingsRun, InfoOpensTheAboutBoxOverTheSettings) {
    const Shown shown = run({}, true);
    ASSERT_EQ(shown.aboutFields.size(), 3u);
    EXPECT_EQ(shown.aboutFields[0], L"v1.2.0.0");
    EXPECT_EQ(string(kSettingsKey, L"rename_pattern"), L"%T") << "the settings dialog stayed and took OK";
}

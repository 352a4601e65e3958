// From the context menu to the command program, as a user goes: the batch
// items of Cartscope.dll start the real "Cartscope CMD.exe" installed beside
// it; the test answers its path message boxes, reads its log, presses Cancel
// or Close where a user would, and checks the files.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>

#include "testing/com_support.h"
#include "shellext/guids.h"
#include "testing/program_driver.h"
#include "core/tests/support/rom_builder.h"
#include "core/tests/support/temp_dir.h"
#include "win/handle.h"
#include "win/library.h"

using cartscope::shell::testing::ComPtr;
using cartscope::shell::testing::DropData;
using cartscope::testing::buildRom;
using cartscope::testing::RomSpec;
using namespace cartscope::gui_testing;

namespace {

// Menu identifiers of the several-files menu, as offsets from idCmdFirst.
constexpr UINT kTrimSelection = 33;
constexpr UINT kUntrimSelection = 34;
constexpr UINT kRenameFrench = 37;

std::set<std::wstring> pathFilesInTemp() {
    wchar_t folder[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, folder);
    std::set<std::wstring> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::wstring name = entry.path().filename().wstring();
        if (name.rfind(L"nds", 0) == 0 && entry.path().extension() == L".tmp") names.insert(name);
    }
    return names;
}

class MenuToProgram : public ::testing::Test {
protected:
    void SetUp() override {
        // The 32-bit program is built in its own folder; the library starts it
        // from the library's folder, so both are copied into one.
        const std::filesystem::path built = CARTSCOPE_CMD_EXE;
        if (!std::filesystem::exists(built)) GTEST_SKIP() << "the win32 build has not made " << built.string();
        install_ = dir.path() / "install";
        std::filesystem::create_directories(install_);
        std::filesystem::copy_file(cartscope::shell::testing::programFolder() + L"Cartscope.dll", install_ / "Cartscope.dll");
        std::filesystem::copy_file(built, program());
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        comStarted_ = true;
        // The real program is beside the library: no update run may start.
        cartscope::shell::testing::markUpdateChecked();
        library_ = cartscope::win::Library((install_ / "Cartscope.dll").wstring().c_str());
        ASSERT_NE(library_.get(), nullptr);
        pathFilesBefore_ = pathFilesInTemp();
    }

    void TearDown() override {
        library_ = cartscope::win::Library();
        if (comStarted_) CoUninitialize();
    }

    std::wstring program() const { return (install_ / "Cartscope CMD.exe").wstring(); }

    std::wstring put(const std::string& name, const RomSpec& card) {
        cartscope::testing::writeFile(dir.path() / name, buildRom(card));
        return (dir.path() / name).wstring();
    }

    // Selects `roms` as the Explorer does and invokes the menu item at `offset`.
    void invoke(const std::vector<std::wstring>& roms, UINT offset) {
        const auto getClassObject = library_.procedure<HRESULT(__stdcall*)(REFCLSID, REFIID, void**)>("DllGetClassObject");
        ASSERT_NE(getClassObject, nullptr);
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(getClassObject(cartscope::shell::kClsidFileIconExt, IID_IClassFactory, factory.putVoid()), S_OK);
        ComPtr<IShellExtInit> init;
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IShellExtInit, init.putVoid()), S_OK);
        DropData selection(roms, true);
        ASSERT_EQ(init->Initialize(nullptr, &selection, nullptr), S_OK);
        ComPtr<IContextMenu> menu;
        ASSERT_EQ(init->QueryInterface(IID_IContextMenu, menu.putVoid()), S_OK);
        const std::unique_ptr<std::remove_pointer_t<HMENU>, decltype(&DestroyMenu)> popup(CreatePopupMenu(), &DestroyMenu);
        ASSERT_EQ(menu->QueryContextMenu(popup.get(), 0, 100, 300, CMF_NORMAL), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 46));
        CMINVOKECOMMANDINFO info = {};
        info.cbSize = sizeof info;
        info.lpVerb = MAKEINTRESOURCEA(offset);
        ASSERT_EQ(menu->InvokeCommand(&info), S_OK);
    }

    // Drives the program the menu started until it ends.
    ProgramRun drive(const DriveOptions& options = {}) {
        const cartscope::win::Handle process(waitForProcess(program()));
        if (!process) {
            ADD_FAILURE() << "the menu started no program";
            return {};
        }
        ProgramRun run = driveProgram(process.get(), options);
        EXPECT_EQ(pathFilesInTemp(), pathFilesBefore_) << "the program deletes the menu's path file";
        return run;
    }

    cartscope::testing::TempDir dir;

private:
    std::filesystem::path install_;
    bool comStarted_ = false;
    cartscope::win::Library library_;
    std::set<std::wstring> pathFilesBefore_;
};

RomSpec untrimmed() {
    RomSpec card;
    card.usedSize = 0x5000;  // a 32 KiB card
    return card;
}

}  // namespace

TEST_F(MenuToProgram, TrimSelectedRomsClosesByItselfWhenAllSucceed) {
    const std::vector<std::wstring> roms = {put("A.nds", untrimmed()), put("B.nds", untrimmed()), put("C.nds", untrimmed())};
    invoke(roms, kTrimSelection);
    const ProgramRun run = drive({});
    EXPECT_TRUE(run.ended);
    EXPECT_EQ(run.shownPaths, roms) << "one message box per path, in selection order";
    EXPECT_NE(run.buttonText, L"Close");
    const auto original = buildRom(untrimmed());
    for (const auto& rom : roms) {
        const auto bytes = cartscope::testing::readFile(rom);
        ASSERT_EQ(bytes.size(), 0x5200u);
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), original.begin()));
    }
}

TEST_F(MenuToProgram, AFileThatCannotBeWrittenKeepsTheLogOpen) {
    std::vector<std::wstring> roms;
    for (const char* name : {"1.nds", "2.nds", "3.nds", "4.nds", "5.nds"}) roms.push_back(put(name, untrimmed()));
    // Root writes read-only files under Wine; a file held open that others may
    // read but not write fails the same way for the program.
    const cartscope::win::Handle held(
        CreateFileW(roms[2].c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_NE(held.get(), INVALID_HANDLE_VALUE);
    invoke(roms, kTrimSelection);
    DriveOptions options;
    options.openAboutBox = false;
    const ProgramRun run = drive(options);
    EXPECT_TRUE(run.ended) << "closed through its Close button";
    EXPECT_EQ(run.buttonText, L"Close");
    EXPECT_TRUE(run.waitedForClose) << "the dialog stays after a failure";
    EXPECT_EQ(run.log,
              L"trim:\t1.nds\r\n\t--> done\r\n"
              L"trim:\t2.nds\r\n\t--> done\r\n"
              L"trim:\t3.nds\r\n\t--> Permission denied\r\n"
              L"trim:\t4.nds\r\n\t--> done\r\n"
              L"trim:\t5.nds\r\n\t--> done\r\n");
    for (std::size_t i = 0; i < roms.size(); ++i) EXPECT_EQ(std::filesystem::file_size(roms[i]), i == 2 ? 0x8000u : 0x5200u) << i;
}

TEST_F(MenuToProgram, CancelDuringTheSecondOfFive) {
#ifndef CARTSCOPE_TEST_HOOKS
    GTEST_SKIP() << "built without the test hooks: Cancel would race with the program's worker";
#endif
    RomSpec card = untrimmed();
    card.fileSize = 0x2000;
    std::vector<std::wstring> roms;
    for (const char* name : {"1.nds", "2.nds", "3.nds", "4.nds", "5.nds"}) roms.push_back(put(name, card));
    // The program holds at the second file until Cancel has been pressed (the
    // library starts it with this process's environment).
    const HoldForCancelAt hold(2);
    invoke(roms, kUntrimSelection);
    DriveOptions options;
    options.cancelWhenLogNames = L"2.nds";
    const ProgramRun run = drive(options);
    EXPECT_TRUE(run.ended) << "closes by itself: no file failed";
    EXPECT_EQ(run.log.rfind(L"untrim:\t1.nds\r\n\t--> done\r\nuntrim:\t2.nds\r\n", 0), 0u) << "as last seen";
    EXPECT_EQ(run.log.find(L"3.nds"), std::wstring::npos);
    EXPECT_EQ(std::filesystem::file_size(roms[0]), 0x8000u);
    EXPECT_EQ(std::filesystem::file_size(roms[1]), 0x8000u) << "the file in hand is finished";
    for (std::size_t i = 2; i < roms.size(); ++i) EXPECT_EQ(std::filesystem::file_size(roms[i]), 0x2000u) << i;
}

TEST_F(MenuToProgram, UntrimPadsBackToTheCapacity) {
    RomSpec card = untrimmed();
    card.fileSize = 0x8000 - 1000;
    const std::vector<std::wstring> roms = {put("Short.nds", card), put("Full.nds", untrimmed())};
    const auto before = cartscope::testing::readFile(roms[0]);
    invoke(roms, kUntrimSelection);
    const ProgramRun run = drive({});
    EXPECT_TRUE(run.ended);
    EXPECT_EQ(run.shownPaths, roms);
    const auto bytes = cartscope::testing::readFile(roms[0]);
    ASSERT_EQ(bytes.size(), 0x8000u) << "512 and then 488 bytes of 0xFF";
    EXPECT_TRUE(std::equal(before.begin(), before.end(), bytes.begin()));
    EXPECT_TRUE(std::all_of(bytes.begin() + 0x8000 - 1000, bytes.end(), [](std::uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(std::filesystem::file_size(roms[1]), 0x8000u);
}

TEST_F(MenuToProgram, RenameByBannerTitleWhereSomeTitlesAreEmpty) {
    // French titles: one card has one, one has only English, one only Japanese.
    RomSpec french, english, japanese;
    french.titles = {u"", u"Game", u"Jeu\nSous-titre\nEditeur", u"", u"", u""};
    english.titles = {u"", u"Other", u"", u"", u"", u""};
    japanese.titles = {u"\u30B2\u30FC\u30E0", u"", u"", u"", u"", u""};
    const std::vector<std::wstring> roms = {put("a.nds", french), put("b.nds", english), put("c.nds", japanese)};
    invoke(roms, kRenameFrench);
    // Renaming needs no program: the library moves the files itself.
    EXPECT_EQ(waitForProcess(program(), 0), nullptr);
    std::set<std::wstring> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        if (entry.is_regular_file()) names.insert(entry.path().filename().wstring());
    EXPECT_EQ(names, (std::set<std::wstring>{L"Jeu.nds", L"Other.nds", L"\u30B2\u30FC\u30E0.nds"}));
}

// The context menu as the Explorer builds and uses it.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "testing/com_support.h"
#include "core/platform/data_folder.h"
#include "core/release_database.h"
#include "core/tests/support/rom_builder.h"
#include "core/tests/support/temp_dir.h"

using namespace cartscope;
using cartscope::shell::testing::ComPtr;
using cartscope::shell::testing::DropData;
using cartscope::testing::buildRom;
using cartscope::testing::RomSpec;

namespace {

struct Item {
    UINT id = 0;
    std::wstring text;
    bool separator = false;
    HMENU submenu = nullptr;
    HBITMAP bitmap = nullptr;
    ULONG_PTR data = 0;
};

std::vector<Item> items(HMENU menu) {
    std::vector<Item> list;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        MENUITEMINFOW info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STRING | MIIM_SUBMENU | MIIM_BITMAP | MIIM_DATA;
        info.dwTypeData = text;
        info.cch = 255;
        GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
        list.push_back({info.wID, text, (info.fType & MFT_SEPARATOR) != 0, info.hSubMenu, info.hbmpItem, info.dwItemData});
    }
    return list;
}

class ContextMenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        shell::testing::markUpdateChecked();
        removeDatabase();
        menu = CreatePopupMenu();
    }
    void TearDown() override {
        DestroyMenu(menu);
        removeDatabase();
        CoUninitialize();
    }
    void removeDatabase() {
        if (const auto folder = platform::dataFolder()) {
            std::error_code ignored;
            std::filesystem::remove(std::filesystem::path(*folder + kDatabaseFileName), ignored);
        }
    }

    std::wstring put(const std::string& name, const RomSpec& card) {
        cartscope::testing::writeFile(dir.path() / name, buildRom(card));
        return (dir.path() / name).wstring();
    }

    // A menu object initialised with the selection; gives QueryContextMenu's result.
    HRESULT build(const std::vector<std::wstring>& selection, UINT flags = CMF_NORMAL, UINT first = 100) {
        EXPECT_EQ(shell::testing::createObject(IID_IContextMenu3, object.putVoid()), S_OK);
        ComPtr<IShellExtInit> init;
        EXPECT_EQ(object->QueryInterface(IID_IShellExtInit, init.putVoid()), S_OK);
        DropData data(selection, true);
        EXPECT_EQ(init->Initialize(nullptr, &data, nullptr), S_OK);
        return object->QueryContextMenu(menu, 0, first, first + 200, flags);
    }

    HRESULT invoke(UINT offset) {
        CMINVOKECOMMANDINFO info = {};
        info.cbSize = sizeof info;
        info.lpVerb = MAKEINTRESOURCEA(offset);
        return object->InvokeCommand(&info);
    }

    cartscope::testing::TempDir dir;
    HMENU menu = nullptr;
    ComPtr<IContextMenu3> object;
};

RomSpec titled(std::uint32_t used, std::uint64_t size) {
    RomSpec card;
    card.usedSize = used;
    card.fileSize = size;
    card.titles = {u"ゲーム", u"Game\nMaker", u"", u"Spiel", u"", u""};
    return card;
}

}  // namespace

TEST_F(ContextMenuTest, OneRomGetsTrimAndItsNames) {
    const auto path = put("Game.nds", titled(0x5000, 0x8000));  // full size: "Trim ROM"
    EXPECT_EQ(build({path}), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 39 + 4));
    const auto top = items(menu);
    ASSERT_EQ(top.size(), 4u);
    EXPECT_TRUE(top[0].separator);
    EXPECT_EQ(top[0].id, 132u);
    EXPECT_EQ(top[1].text, L"Trim ROM");
    EXPECT_EQ(top[1].id, 133u);
    EXPECT_EQ(top[1].data, 214u);
    EXPECT_NE(top[1].bitmap, nullptr);
    EXPECT_EQ(top[2].text, L"Rename to ...");
    EXPECT_EQ(top[2].id, 137u + 4);
    EXPECT_EQ(top[3].id, 138u + 4);
    const auto names = items(top[2].submenu);
    ASSERT_EQ(names.size(), 4u + 3);
    // Sorted by UTF-16 units: a name before any longer name that begins with it.
    EXPECT_EQ(names[0].text, L"Game.nds");
    EXPECT_EQ(names[1].text, L"Game - Maker.nds");
    EXPECT_EQ(names[2].text, L"Spiel.nds");
    EXPECT_EQ(names[3].text, L"\u30B2\u30FC\u30E0.nds");
    EXPECT_EQ(names[0].id, 134u);
    EXPECT_EQ(names[3].id, 137u);
    EXPECT_TRUE(names[4].separator);
    EXPECT_EQ(names[5].text, L"Settings...");
    EXPECT_EQ(names[5].id, 139u);
    EXPECT_EQ(names[6].text, L"Info...");

    // Renaming to the second entry moves the file.
    EXPECT_EQ(invoke(35), S_OK);
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "Game - Maker.nds"));
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(ContextMenuTest, UntrimWithoutNamesAndNonRoms) {
    RomSpec plain;
    plain.usedSize = 0x5000;
    plain.fileSize = 0x5200;
    plain.bannerOffset = 0;  // no banner, no database: no names
    const auto path = put("Plain.nds", plain);
    EXPECT_EQ(build({path}), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 35));
    const auto top = items(menu);
    ASSERT_EQ(top.size(), 3u);
    EXPECT_EQ(top[1].text, L"Untrim ROM");
    EXPECT_TRUE(top[2].separator);
    EXPECT_EQ(top[2].id, 134u);

    // Untrim pads with 0xFF to the card.
    EXPECT_EQ(invoke(33), S_OK);
    EXPECT_EQ(std::filesystem::file_size(path), 0x8000u);

    DestroyMenu(menu);
    menu = CreatePopupMenu();
    cartscope::testing::writeFile(dir.path() / "NotARom.nds", {1, 2, 3});
    EXPECT_EQ(build({(dir.path() / "NotARom.nds").wstring()}), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0));
    EXPECT_EQ(GetMenuItemCount(menu), 0);
}

TEST_F(ContextMenuTest, TrimInsideTheLibrary) {
    const auto path = put("Full.nds", titled(0x5000, 0x8000));
    ASSERT_EQ(build({path}), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 43));
    EXPECT_EQ(invoke(33), S_OK);
    EXPECT_EQ(std::filesystem::file_size(path), 0x5200u);
}

TEST_F(ContextMenuTest, NamesOfEveryLanguageAndTheDatabase) {
    // The most names a ROM can have: two per banner language and the
    // database's, thirteen, all listed (the menu would show at most fifteen).
    RomSpec card = titled(0x5000, 0x8000);
    card.gameCode = "MANE";
    card.titles = {u"A\nB", u"C\nD", u"E\nF", u"G\nH", u"I\nJ", u"K\nL"};
    const auto folder = platform::dataFolder();
    ASSERT_TRUE(folder);
    std::filesystem::create_directories(std::filesystem::path(*folder));
    Release release;
    release.gameCode = "MANE";
    release.fields = {"NTR", "Database Name", "", "", "", "1", "", "0001", "", ""};
    std::vector<std::uint8_t> bytes;
    ASSERT_EQ(buildDatabase(31, {release}, bytes), "");
    cartscope::testing::writeFile(*folder + kDatabaseFileName, bytes);

    const auto path = put("Many.nds", card);
    EXPECT_EQ(build({path}), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 39 + 13));
    const auto names = items(items(menu)[2].submenu);
    ASSERT_EQ(names.size(), 13u + 3);
    EXPECT_EQ(names[0].text, L"A.nds");
    EXPECT_EQ(names[12].text, L"K - L.nds");
}

TEST_F(ContextMenuTest, SeveralFilesGetTheBatchMenu) {
    const std::vector<std::wstring> selection = {L"C:\\a.nds", L"C:\\b.nds"};  // not read
    EXPECT_EQ(build(selection), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 46));
    const auto top = items(menu);
    ASSERT_EQ(top.size(), 5u);
    EXPECT_EQ(top[0].id, 132u);
    EXPECT_EQ(top[1].text, L"Trim selected ROMSs");
    EXPECT_EQ(top[1].id, 133u);
    EXPECT_EQ(top[2].text, L"UN-Trim selected ROMs");
    EXPECT_EQ(top[2].id, 134u);
    EXPECT_EQ(top[3].text, L"Rename selected ROMs with Bannertext ...");
    EXPECT_EQ(top[3].id, 144u);
    EXPECT_EQ(top[4].id, 145u);
    const auto languages = items(top[3].submenu);
    ASSERT_EQ(languages.size(), 9u);
    const wchar_t* texts[] = {L"Japanese", L"English", L"French", L"German", L"Italian", L"Spanish"};
    const ULONG_PTR icons[] = {220, 216, 218, 215, 219, 217};
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(languages[i].text, texts[i]);
        EXPECT_EQ(languages[i].id, 135u + i);
        EXPECT_EQ(languages[i].data, icons[i]);
        EXPECT_NE(languages[i].bitmap, nullptr);
    }
    EXPECT_TRUE(languages[6].separator);
    EXPECT_EQ(languages[7].id, 142u);
    EXPECT_EQ(languages[8].id, 143u);

    // Verbs: string verbs and offsets no slot holds are refused.
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof info;
    info.lpVerb = "open";
    EXPECT_EQ(object->InvokeCommand(&info), E_INVALIDARG);
    EXPECT_EQ(invoke(47), E_INVALIDARG);
    EXPECT_EQ(invoke(32), E_INVALIDARG) << "a separator is no action";
}

TEST_F(ContextMenuTest, FlagsThatAddNothing) {
    const std::vector<std::wstring> selection = {L"C:\\a.nds", L"C:\\b.nds"};
    EXPECT_EQ(build(selection, CMF_DEFAULTONLY), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0));
    EXPECT_EQ(build(selection, CMF_NOVERBS), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0));
    EXPECT_EQ(GetMenuItemCount(menu), 0);
    EXPECT_EQ(build(selection, CMF_NOVERBS | CMF_EXPLORE), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 46));
}

TEST_F(ContextMenuTest, RenameSelectionByLanguage) {
    RomSpec german = titled(0x5000, 0x8000);
    RomSpec english = titled(0x5000, 0x8000);
    english.titles[3] = u"";  // no German title: English next
    const auto a = put("a.nds", german), b = put("b.nds", english);
    cartscope::testing::writeFile(dir.path() / "c.nds", {1, 2, 3});  // not a ROM: left out
    ASSERT_EQ(build({a, b, (dir.path() / "c.nds").wstring()}), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 46));
    EXPECT_EQ(invoke(38), S_OK) << "German";
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "Spiel.nds"));
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "Game.nds"));
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "c.nds"));
}

TEST_F(ContextMenuTest, OwnerDrawnIconsOnOlderSystems) {
    ASSERT_EQ(build({L"C:\\a.nds", L"C:\\b.nds"}), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 46));
    MEASUREITEMSTRUCT measure = {};
    measure.CtlType = ODT_MENU;
    measure.itemWidth = 10;
    measure.itemHeight = 12;
    LRESULT result = 7;
    EXPECT_EQ(object->HandleMenuMsg2(WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure), &result), S_OK);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(measure.itemWidth, 12u);
    EXPECT_EQ(measure.itemHeight, 16u);

    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP canvas = CreateCompatibleBitmap(screen, 64, 64);
    HGDIOBJ previous = SelectObject(dc, canvas);
    DRAWITEMSTRUCT draw = {};
    draw.CtlType = ODT_MENU;
    draw.hDC = dc;
    draw.rcItem = {20, 0, 60, 20};
    draw.itemData = 215;
    EXPECT_EQ(object->HandleMenuMsg2(WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&draw), &result), S_OK);
    EXPECT_EQ(result, 1);
    draw.itemData = 9999;  // no such icon
    EXPECT_EQ(object->HandleMenuMsg2(WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&draw), &result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(object->HandleMenuMsg2(WM_PAINT, 0, 0, &result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(object->HandleMenuMsg(WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure)), S_OK);
    SelectObject(dc, previous);
    DeleteObject(canvas);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    char name[8];
    EXPECT_EQ(object->GetCommandString(133, GCS_VERBA, nullptr, name, 8), E_NOTIMPL);
}

namespace {

// The fake command program beside the library, for one test.
class FakeProgram {
public:
    explicit FakeProgram(const std::filesystem::path& log) : log_(log) {
        target_ = shell::testing::programFolder() + L"Cartscope CMD.exe";
        CopyFileW((shell::testing::programFolder() + L"fake_cmd.exe").c_str(), target_.c_str(), FALSE);
        SetEnvironmentVariableW(L"CARTSCOPE_FAKE_CMD_LOG", log.wstring().c_str());
    }
    ~FakeProgram() {
        SetEnvironmentVariableW(L"CARTSCOPE_FAKE_CMD_LOG", nullptr);
        DeleteFileW(target_.c_str());
    }
    // Waits for the program's record; false when it never came.
    bool wait() const {
        for (int i = 0; i < 1500 && !std::filesystem::exists(log_ / "done"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return std::filesystem::exists(log_ / "done");
    }
    std::wstring commandLine() const {
        const auto bytes = cartscope::testing::readFile(log_ / "cmdline");
        return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
    }

private:
    std::filesystem::path log_;
    std::wstring target_;
};

}  // namespace

TEST_F(ContextMenuTest, BatchCommandsStartTheProgramWithAPathFile) {
    const FakeProgram program(dir.path());
    ASSERT_EQ(build({L"C:\\a.nds", L"C:\\b.nds"}), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 46));
    EXPECT_EQ(invoke(33), S_OK) << "Trim selected ROMSs";
    ASSERT_TRUE(program.wait());
    const std::wstring line = program.commandLine();
    ASSERT_EQ(line.rfind(L" /command:trim /pathfile:\"", 0), 0u) << std::string(line.begin(), line.end());
    EXPECT_EQ(line.back(), L'"');
    const std::wstring name = line.substr(26, line.size() - 27);
    const std::wstring file = name.substr(name.find_last_of(L'\\') + 1);
    EXPECT_EQ(file.substr(0, 3), L"nds");
    EXPECT_EQ(file.substr(file.size() - 4), L".tmp");
    const auto content = cartscope::testing::readFile(dir.path() / "pathfile");
    EXPECT_EQ(content.size(), 36u) << "two paths of eight units, each with a NUL, two bytes a unit";
    const std::u16string expected = u"C:\\a.nds" + std::u16string(1, u'\0') + u"C:\\b.nds" + std::u16string(1, u'\0');
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(content.data()), content.size() / 2), expected);
}

TEST_F(ContextMenuTest, SettingsStartsTheProgramWithoutPaths) {
    const FakeProgram program(dir.path());
    ASSERT_EQ(build({L"C:\\a.nds", L"C:\\b.nds", L"C:\\c.nds"}), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 46));
    EXPECT_EQ(invoke(42), S_OK) << "Settings...";
    ASSERT_TRUE(program.wait());
    EXPECT_EQ(program.commandLine(), L" /command:settings");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "pathfile"));
}

TEST_F(ContextMenuTest, ANewObjectStartsTheDueUpdateCheck) {
    const FakeProgram program(dir.path());
    shell::testing::clearUpdateState();  // never checked, mode OnFolderOpen
    ASSERT_EQ(build({L"C:\\a.nds", L"C:\\b.nds"}), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 46));
    const bool started = program.wait();
    shell::testing::markUpdateChecked();
    ASSERT_TRUE(started);
    EXPECT_EQ(program.commandLine(), L" /command:auto_update");
}

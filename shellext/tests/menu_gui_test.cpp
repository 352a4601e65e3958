// What the user sees of the context menu: the menu itself (a screenshot for
// people to look at), the warning box of a trim that cannot be done and the
// error box of a command program that cannot be started.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "testing/com_support.h"
#include "testing/gui_driver.h"
#include "core/tests/support/rom_builder.h"
#include "core/tests/support/temp_dir.h"

using cartscope::shell::testing::ComPtr;
using cartscope::shell::testing::DropData;
using namespace cartscope::gui_testing;

namespace {

class MenuGuiTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
    void TearDown() override { CoUninitialize(); }

    HRESULT build(const std::vector<std::wstring>& selection, HMENU menu) {
        EXPECT_EQ(cartscope::shell::testing::createObject(IID_IContextMenu, object.putVoid()), S_OK);
        ComPtr<IShellExtInit> init;
        EXPECT_EQ(object->QueryInterface(IID_IShellExtInit, init.putVoid()), S_OK);
        DropData data(selection, true);
        EXPECT_EQ(init->Initialize(nullptr, &data, nullptr), S_OK);
        return object->QueryContextMenu(menu, 0, 100, 300, CMF_NORMAL);
    }

    cartscope::testing::TempDir dir;
    ComPtr<IContextMenu> object;
};

template <class Condition>
bool waitFor(Condition condition) {
    for (int i = 0; i < 1000; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

}  // namespace

TEST_F(MenuGuiTest, TheMenuAsTheUserSeesIt) {
    HMENU menu = CreatePopupMenu();
    ASSERT_EQ(build({L"C:\\a.nds", L"C:\\b.nds"}, menu), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 46));
    HWND owner = CreateWindowExW(0, L"STATIC", L"Cartscope menu test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 400, 300,
                                 nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(owner, nullptr);
    SetForegroundWindow(owner);

    std::atomic<bool> shown{false};
    std::thread driver([&] {
        HWND popup = nullptr;
        // The menu's window belongs to this test's thread.
        const DWORD thread = GetWindowThreadProcessId(owner, nullptr);
        shown = waitFor([&] {
            popup = nullptr;
            while ((popup = FindWindowExW(nullptr, popup, L"#32768", nullptr)))
                if (IsWindowVisible(popup) && GetWindowThreadProcessId(popup, nullptr) == thread) return true;
            return false;
        });
        if (shown) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            screenshot(popup, "context-menu.png");
        }
        PostMessageW(owner, WM_CANCELMODE, 0, 0);
    });
    TrackPopupMenuEx(menu, TPM_RETURNCMD | TPM_LEFTALIGN, 150, 150, owner, nullptr);
    driver.join();
    EXPECT_TRUE(shown) << "the menu appeared";
    DestroyWindow(owner);
    DestroyMenu(menu);
}

TEST_F(MenuGuiTest, TrimThatCannotBeDoneAsksAbortRetryIgnore) {
    cartscope::testing::RomSpec card;
    card.usedSize = 0x5000;  // full size: "Trim ROM"
    auto bytes = cartscope::testing::buildRom(card);
    bytes.back() = 0x42;  // data after the used area
    const auto path = dir.path() / "Data.nds";
    cartscope::testing::writeFile(path, bytes);
    HMENU menu = CreatePopupMenu();
    ASSERT_EQ(build({path.wstring()}, menu), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 35));  // no banner titles: no names

    std::vector<std::wstring> texts;
    std::thread driver([&] {
        for (int round = 0; round < 2; ++round) {
            HWND box = nullptr;
            if (!waitFor([&] { return (box = findDialog(L"Cartscope", 0xFFFF, GetCurrentProcessId())) != nullptr; })) return;
            texts.push_back(windowText(GetDlgItem(box, 0xFFFF)));
            if (round == 0) {
                screenshot(box, "trim-error-box.png");
                press(GetDlgItem(box, IDRETRY), box);  // tries again, fails again
            } else {
                press(GetDlgItem(box, IDABORT), box);
            }
        }
    });
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof info;
    info.lpVerb = MAKEINTRESOURCEA(33);
    EXPECT_EQ(object->InvokeCommand(&info), S_OK);
    driver.join();
    ASSERT_EQ(texts.size(), 2u) << "Retry tries again";
    EXPECT_EQ(texts[0], L"Data.nds\ndata after the used area; not trimmed");
    EXPECT_EQ(cartscope::testing::readFile(path), bytes) << "nothing is cut";
    DestroyMenu(menu);
}

TEST_F(MenuGuiTest, TrimOfAFileThatWouldGrowSaysAlreadyTrimmed) {
    cartscope::testing::RomSpec card;
    card.usedSize = 0x10000 - 100;  // "Trim ROM" at the card's size, but the trimmed size is past it
    card.fileSize = 0x10000;
    const auto bytes = cartscope::testing::buildRom(card);
    const auto path = dir.path() / "Full.nds";
    cartscope::testing::writeFile(path, bytes);
    HMENU menu = CreatePopupMenu();
    ASSERT_EQ(build({path.wstring()}, menu), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 35));

    std::wstring text;
    std::thread driver([&] {
        HWND box = nullptr;
        if (!waitFor([&] { return (box = findDialog(L"Cartscope", 0xFFFF, GetCurrentProcessId())) != nullptr; })) return;
        text = windowText(GetDlgItem(box, 0xFFFF));
        press(GetDlgItem(box, IDOK), box);
    });
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof info;
    info.lpVerb = MAKEINTRESOURCEA(33);
    EXPECT_EQ(object->InvokeCommand(&info), S_OK);
    driver.join();
    EXPECT_EQ(text, L"Full.nds\nalready trimmed");
    EXPECT_EQ(cartscope::testing::readFile(path), bytes) << "not a byte longer";
    DestroyMenu(menu);
}

namespace {

// Sets an environment variable of this process for one test.
class ScopedVariable {
public:
    ScopedVariable(const wchar_t* name, const std::wstring& value) : name_(name) {
        wchar_t previous[MAX_PATH * 2] = {};
        const DWORD length = GetEnvironmentVariableW(name, previous, MAX_PATH * 2);
        had_ = length > 0 && length < MAX_PATH * 2;
        if (had_) previous_ = previous;
        SetEnvironmentVariableW(name, value.c_str());
    }
    ~ScopedVariable() { SetEnvironmentVariableW(name_, had_ ? previous_.c_str() : nullptr); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const wchar_t* name_;
    std::wstring previous_;
    bool had_ = false;
};

// The first line of the system's text for an error code.
std::wstring systemText(DWORD error) {
    wchar_t text[512] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, 512, nullptr);
    const std::wstring line(text);
    return line.substr(0, line.find_first_of(L"\r\n"));
}

}  // namespace

TEST_F(MenuGuiTest, AProgramThatCannotStartIsReportedAndItsPathFileRemoved) {
    // A copy of the library in a folder of its own: nothing named
    // "Cartscope CMD.exe" beside it, and no other test puts one there.
    const cartscope::shell::testing::LibraryCopy library(dir.path().wstring() + L"\\");
    ASSERT_TRUE(library.loaded());
    const std::wstring program = (dir.path() / "Cartscope CMD.exe").wstring();
    // The path files go to a temporary folder of the test's own.
    const cartscope::testing::TempDir temp;
    const ScopedVariable tmp(L"TMP", temp.path().wstring());
    wchar_t tempPath[MAX_PATH] = {};
    ASSERT_NE(GetTempPathW(MAX_PATH, tempPath), 0u);
    ASSERT_EQ(std::wstring(tempPath), temp.path().wstring() + L"\\") << "the library writes its path files there";

    ComPtr<IContextMenu> menuObject;
    ASSERT_EQ(library.createObject(IID_IContextMenu, menuObject.putVoid()), S_OK);
    ComPtr<IShellExtInit> init;
    ASSERT_EQ(menuObject->QueryInterface(IID_IShellExtInit, init.putVoid()), S_OK);
    DropData data({L"C:\\a.nds", L"C:\\b.nds"}, true);  // not read
    ASSERT_EQ(init->Initialize(nullptr, &data, nullptr), S_OK);
    HMENU menu = CreatePopupMenu();
    ASSERT_EQ(menuObject->QueryContextMenu(menu, 0, 100, 300, CMF_NORMAL), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 46));

    struct Round {
        UINT offset;
        const char* what;
        const char* programContent;  // null: no program file
        DWORD error;
    };
    const Round rounds[] = {
        {33, "Trim selected ROMSs", nullptr, ERROR_FILE_NOT_FOUND},
        {34, "UN-Trim selected ROMs", "not a program", ERROR_BAD_EXE_FORMAT},
        {43, "Info...", "not a program", ERROR_BAD_EXE_FORMAT},
    };
    for (const Round& round : rounds) {
        SCOPED_TRACE(round.what);
        if (round.programContent) {
            const std::string content = round.programContent;
            cartscope::testing::writeFile(program, std::vector<std::uint8_t>(content.begin(), content.end()));
        }
        std::wstring text;
        bool pathFileGone = false;
        std::thread driver([&] {
            HWND box = nullptr;
            if (!waitFor([&] { return (box = findDialog(L"Cartscope", 0xFFFF, GetCurrentProcessId())) != nullptr; })) return;
            text = windowText(GetDlgItem(box, 0xFFFF));
            pathFileGone = std::filesystem::is_empty(temp.path());
            if (round.offset == 33) screenshot(box, "program-missing-box.png");
            press(firstButton(box), box);
        });
        CMINVOKECOMMANDINFO info = {};
        info.cbSize = sizeof info;
        info.lpVerb = MAKEINTRESOURCEA(round.offset);
        EXPECT_EQ(menuObject->InvokeCommand(&info), S_OK);
        driver.join();
        EXPECT_NE(text.find(program), std::wstring::npos) << "the program's path";
        const std::wstring expected = systemText(round.error);
        ASSERT_FALSE(expected.empty());
        EXPECT_NE(text.find(expected), std::wstring::npos) << "the system's text";
        EXPECT_TRUE(pathFileGone) << "already while the box is shown";
        EXPECT_TRUE(std::filesystem::is_empty(temp.path()));
    }
    DestroyMenu(menu);
}

// What the user sees of the context menu: the menu itself (a screenshot for
// people to look at) and the warning box of a trim that cannot be done.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "com_support.h"
#include "gui_driver.h"
#include "rom_builder.h"
#include "temp_dir.h"

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

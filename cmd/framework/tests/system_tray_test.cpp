// The tray icon: what it hands to the shell (through a recorder in place of
// Shell_NotifyIconW), its return after the task bar is made anew, and a real
// icon with its balloon in the Wine desktop's notification area.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "testing/gui_driver.h"
#include "cmd/framework/system_tray.h"

using cartscope::ui::CSystemTray;

namespace {

struct Call {
    DWORD action;
    NOTIFYICONDATAW record;
};
std::vector<Call> g_calls;
BOOL g_answer = TRUE;

BOOL WINAPI record(DWORD action, PNOTIFYICONDATAW data) {
    g_calls.push_back({action, *data});
    return g_answer;
}

class TrayRecorder : public ::testing::Test {
protected:
    void SetUp() override {
        g_calls.clear();
        g_answer = TRUE;
        CSystemTray::notify = record;
    }
    void TearDown() override { CSystemTray::notify = Shell_NotifyIconW; }

    HICON icon = LoadIconW(nullptr, IDI_APPLICATION);
};

const std::wstring kLong(300, L'x');

}  // namespace

TEST_F(TrayRecorder, CreatesTheIconWithItsBalloonCutTo255) {
    CSystemTray tray;
    ASSERT_TRUE(tray.createIcon(icon, kLong.c_str(), 7));
    ASSERT_EQ(g_calls.size(), 1u);
    const NOTIFYICONDATAW& added = g_calls[0].record;
    EXPECT_EQ(g_calls[0].action, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(added.cbSize, CSystemTray::recordSize());
    EXPECT_EQ(added.hWnd, tray.handle());
    EXPECT_NE(added.hWnd, nullptr);
    EXPECT_EQ(added.uID, 12345u);
    EXPECT_EQ(added.uCallbackMessage, 0x8001u);
    EXPECT_EQ(added.uFlags, static_cast<UINT>(NIF_ICON | NIF_TIP | NIF_MESSAGE | NIF_INFO));
    EXPECT_EQ(added.hIcon, icon);
    EXPECT_EQ(std::wstring(added.szTip), L"Cartscope");
    EXPECT_EQ(std::wstring(added.szInfo), kLong.substr(0, 255));
    EXPECT_EQ(std::wstring(added.szInfoTitle), L"Cartscope UpDate!");
    EXPECT_EQ(added.dwInfoFlags, static_cast<DWORD>(NIIF_WARNING));
    EXPECT_EQ(added.uTimeout, 7000u);
    EXPECT_EQ(tray.notifyRecord().szInfo[0], L'\0') << "the balloon is not shown again";
    EXPECT_FALSE(tray.hidden());

    ASSERT_TRUE(tray.showBalloon(kLong.c_str(), 3));
    ASSERT_EQ(g_calls.size(), 2u);
    EXPECT_EQ(g_calls[1].action, static_cast<DWORD>(NIM_MODIFY));
    EXPECT_EQ(g_calls[1].record.uFlags, static_cast<UINT>(NIF_INFO)) << "the balloon alone";
    EXPECT_EQ(std::wstring(g_calls[1].record.szInfo), kLong.substr(0, 255));
    EXPECT_EQ(g_calls[1].record.uTimeout, 3000u);

    ASSERT_TRUE(tray.removeIcon());
    ASSERT_EQ(g_calls.size(), 3u);
    EXPECT_EQ(g_calls[2].action, static_cast<DWORD>(NIM_DELETE));
    EXPECT_EQ(g_calls[2].record.uFlags, 0u);
    EXPECT_TRUE(tray.removeIcon());
    EXPECT_EQ(g_calls.size(), 3u) << "removed once";
}

TEST_F(TrayRecorder, NoBalloonWithoutText) {
    CSystemTray tray;
    ASSERT_TRUE(tray.createIcon(icon, nullptr, 5));
    EXPECT_EQ(g_calls.at(0).record.uFlags, static_cast<UINT>(NIF_ICON | NIF_TIP | NIF_MESSAGE));
}

TEST_F(TrayRecorder, ComesBackWhenTheTaskBarIsMadeAnew) {
    const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    {
        CSystemTray tray;
        ASSERT_TRUE(tray.createIcon(icon, L"found an update", 5));
        SendMessageW(tray.handle(), taskbarCreated, 0, 0);
        ASSERT_EQ(g_calls.size(), 2u);
        EXPECT_EQ(g_calls[1].action, static_cast<DWORD>(NIM_ADD));
        EXPECT_EQ(g_calls[1].record.uFlags, static_cast<UINT>(NIF_ICON | NIF_TIP | NIF_MESSAGE | NIF_INFO));
        EXPECT_EQ(g_calls[1].record.szInfo[0], L'\0') << "without the balloon";
        EXPECT_FALSE(tray.showPending());

        SendMessageW(tray.handle(), WM_SETTINGCHANGE, SPI_SETWORKAREA, 0);
        ASSERT_EQ(g_calls.size(), 3u);
        EXPECT_EQ(g_calls[2].action, static_cast<DWORD>(NIM_ADD));
    }
    EXPECT_EQ(g_calls.back().action, static_cast<DWORD>(NIM_DELETE)) << "the destructor removes the icon";

    // An icon that could not be added stays away.
    g_calls.clear();
    g_answer = FALSE;
    CSystemTray failed;
    EXPECT_FALSE(failed.createIcon(icon, L"text", 5));
    EXPECT_TRUE(failed.hidden());
    EXPECT_TRUE(failed.showPending());
    SendMessageW(failed.handle(), taskbarCreated, 0, 0);
    EXPECT_EQ(g_calls.size(), 1u);
    EXPECT_TRUE(failed.removeIcon());
    EXPECT_EQ(g_calls.size(), 1u) << "nothing to delete";
}

TEST_F(TrayRecorder, ClicksWithoutAMainWindowDoNothing) {
    CSystemTray tray;
    ASSERT_TRUE(tray.createIcon(icon, nullptr, 5));
    EXPECT_EQ(SendMessageW(tray.handle(), 0x8001, 12345, WM_RBUTTONUP), 0);
    EXPECT_EQ(SendMessageW(tray.handle(), 0x8001, 12345, WM_LBUTTONDBLCLK), 0);
}

TEST(TrayIcon, ShowsInTheNotificationArea) {
    CSystemTray tray;
    ASSERT_TRUE(tray.createIcon(LoadIconW(nullptr, IDI_APPLICATION), L"Checking for updates ...", 10));
    EXPECT_TRUE(tray.showBalloon(L"nds-rom.dat: up to date", 10));
    // Balloons come late under Wine: let it show, for the screenshot.
    for (int i = 0; i < 30; ++i) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    cartscope::gui_testing::screenshot(GetDesktopWindow(), "tray-balloon.png");
    EXPECT_TRUE(tray.removeIcon());
    EXPECT_TRUE(tray.removed());
}

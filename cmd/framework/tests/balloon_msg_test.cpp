// The balloon at a dialog's control, shown for real in a Wine virtual desktop
// and answered with real key presses and clicks (SendInput).
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <string>
#include <thread>

#include "cmd/framework/balloon_msg.h"
#include "testing/gui_driver.h"
#include "win/reg_key.h"

using cartscope::ui::CXBalloonMsg;

namespace {

void pump(int milliseconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < end) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void press(WORD key) {
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = key;
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof(INPUT));
    pump(200);
}

void clickAt(int x, int y) {
    SetCursorPos(x, y);
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_MOUSE;
    input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, input, sizeof(INPUT));
    pump(200);
}

// Keys that reach the edit control.
std::wstring g_keys;
WNDPROC g_editProcedure = nullptr;
LRESULT CALLBACK recordKeys(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_KEYDOWN) g_keys += wParam == VK_ESCAPE ? L"<esc>" : std::wstring(1, static_cast<wchar_t>(wParam));
    return CallWindowProcW(g_editProcedure, window, message, wParam, lParam);
}

class BalloonTest : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
        InitCommonControlsEx(&controls);
        parent = CreateWindowExW(0, L"#32770", L"Settings", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 400, 250, nullptr,
                                 nullptr, nullptr, nullptr);
        edit = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"%X", WS_CHILD | WS_VISIBLE, 40, 60, 200, 24, parent, nullptr, nullptr,
                               nullptr);
        ASSERT_TRUE(parent && edit);
        g_keys.clear();
        g_editProcedure =
            reinterpret_cast<WNDPROC>(SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(recordKeys)));
        parentProcedure = GetWindowLongPtrW(parent, GWLP_WNDPROC);
        SetForegroundWindow(parent);
        SetFocus(edit);
        pump(200);
    }
    void TearDown() override {
        CXBalloonMsg::hide();
        pump(100);
        DestroyWindow(parent);
    }

    bool procedureReplaced() const { return GetWindowLongPtrW(parent, GWLP_WNDPROC) != parentProcedure; }

    HWND parent = nullptr;
    HWND edit = nullptr;
    LONG_PTR parentProcedure = 0;
};

struct TipCount {
    HWND owner;
    int visible = 0;
};
BOOL CALLBACK countTips(HWND window, LPARAM parameter) {
    auto* count = reinterpret_cast<TipCount*>(parameter);
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    if (std::wstring(name) == TOOLTIPS_CLASSW && GetWindow(window, GW_OWNER) == count->owner && IsWindowVisible(window))
        ++count->visible;
    return TRUE;
}

int visibleTips(HWND owner) {
    TipCount count{owner};
    EnumWindows(countTips, reinterpret_cast<LPARAM>(&count));
    return count.visible;
}

}  // namespace

TEST_F(BalloonTest, PointsAtTheControlUntilHidden) {
    CXBalloonMsg::show(L"The pattern needs %T", edit, parent);
    pump(300);
    HWND tip = CXBalloonMsg::toolTip();
    ASSERT_NE(tip, nullptr);
    EXPECT_TRUE(IsWindowVisible(tip));
    EXPECT_EQ(GetWindowLongW(tip, GWL_STYLE) & TTS_BALLOON, TTS_BALLOON) << "balloon tips are on by default";
    EXPECT_EQ(CXBalloonMsg::text(), L"The pattern needs %T");
    EXPECT_TRUE(procedureReplaced());
    cartscope::gui_testing::screenshot(GetDesktopWindow(), "settings-balloon.png");

    CXBalloonMsg::show(L"Another message", edit, parent);
    pump(300);
    EXPECT_EQ(visibleTips(parent), 1) << "one balloon at a time";

    CXBalloonMsg::hide();
    pump(200);
    EXPECT_EQ(CXBalloonMsg::toolTip(), nullptr);
    EXPECT_EQ(visibleTips(parent), 0);
    EXPECT_FALSE(procedureReplaced()) << "the parent has its own procedure back";
}

TEST_F(BalloonTest, NothingWithoutTextOrWindows) {
    CXBalloonMsg::show(L"", edit, parent);
    CXBalloonMsg::show(nullptr, edit, parent);
    CXBalloonMsg::show(L"text", nullptr, parent);
    CXBalloonMsg::show(L"text", edit, nullptr);
    HWND gone = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    DestroyWindow(gone);
    CXBalloonMsg::show(L"text", gone, parent);
    pump(300);
    EXPECT_EQ(CXBalloonMsg::toolTip(), nullptr);
    EXPECT_EQ(visibleTips(parent), 0);
}

TEST_F(BalloonTest, TextFromTheStringResources) {
    CXBalloonMsg::show(MAKEINTRESOURCEW(200), edit, parent);
    pump(300);
    EXPECT_EQ(CXBalloonMsg::text(), L"From the resources");
    EXPECT_NE(CXBalloonMsg::toolTip(), nullptr);
}

TEST_F(BalloonTest, ShiftLeavesItEscapeTakesItAndIsSwallowed) {
    CXBalloonMsg::show(L"The pattern needs %T", edit, parent);
    pump(300);
    ASSERT_NE(CXBalloonMsg::toolTip(), nullptr);
    press(VK_SHIFT);
    EXPECT_NE(CXBalloonMsg::toolTip(), nullptr) << "Shift passes";
    press(VK_ESCAPE);
    EXPECT_EQ(CXBalloonMsg::toolTip(), nullptr);
    EXPECT_EQ(g_keys.find(L"<esc>"), std::wstring::npos) << "the control never saw Escape";

    CXBalloonMsg::show(L"again", edit, parent);
    pump(300);
    press('A');
    EXPECT_EQ(CXBalloonMsg::toolTip(), nullptr) << "any other key hides it (and is passed on to the focus)";

    CXBalloonMsg::show(L"and again", edit, parent);
    pump(300);
    RECT area;
    GetWindowRect(parent, &area);
    clickAt(area.left + 300, area.top + 150);
    EXPECT_EQ(CXBalloonMsg::toolTip(), nullptr) << "a click hides it";
}

TEST_F(BalloonTest, WithoutBalloonTipsAPlainTipBelowTheControl) {
    cartscope::win::RegKey key;
    ASSERT_EQ(key.create(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced",
                         KEY_SET_VALUE | KEY_QUERY_VALUE),
              ERROR_SUCCESS);
    key.setDword(L"EnableBalloonTips", 0);
    EXPECT_FALSE(CXBalloonMsg::balloonTipsEnabled());

    CXBalloonMsg::show(L"The pattern needs %T", edit, parent);
    pump(300);
    HWND tip = CXBalloonMsg::toolTip();
    key.deleteValue(L"EnableBalloonTips");
    key.reset();
    EXPECT_TRUE(CXBalloonMsg::balloonTipsEnabled()) << "not set: on";
    ASSERT_NE(tip, nullptr);
    EXPECT_EQ(GetWindowLongW(tip, GWL_STYLE) & TTS_BALLOON, 0);
    RECT control, shown;
    GetWindowRect(edit, &control);
    GetWindowRect(tip, &shown);
    EXPECT_NEAR(shown.left, control.left, 2);
    EXPECT_NEAR(shown.top, control.bottom, 2);
}

TEST_F(BalloonTest, TheDestructorGivesTheProcedureBack) {
    {
        CXBalloonMsg balloon;
        CXBalloonMsg::show(L"text", edit, parent);
        pump(300);
        EXPECT_TRUE(procedureReplaced());
    }
    EXPECT_FALSE(procedureReplaced());
}

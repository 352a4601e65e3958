// The program's dialogs at 144 DPI, in a Wine prefix of their own
// (cmake/wine-dpi-run.sh): the real "Cartscope CMD.exe" opens the log, the
// settings and the about dialog as a user would, with the texts it shows.
// Every control must lie inside its dialog, no two may overlap (but for a
// group box around its members), and every text must fit its control. The
// screenshots are for people to look at.
//
// Fonts cannot be used across processes, so the texts are measured here: the
// same template is made once more in this process, hidden, its layout checked
// against the program's, and the program's texts put into it.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "testing/gui_driver.h"
#include "testing/program_driver.h"
#include "core/tests/support/rom_builder.h"
#include "core/tests/support/temp_dir.h"
#include "win/library.h"
#include "win/module_path.h"

using namespace cartscope::gui_testing;

namespace {

constexpr int kDpi = 144;

// Template and item ids of the program (cmd/resources/resource.h).
constexpr UINT kAboutTemplate = 100;
constexpr UINT kLogTemplate = 102;
constexpr UINT kSettingsTemplate = 129;
constexpr int kLogEdit = 1004;
constexpr int kPatternEdit = 1015;
constexpr int kProgramVersion = 1016;

std::wstring builtProgram() { return cartscope::win::besideModule(nullptr, L"Cartscope CMD.exe"); }

std::wstring classOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

bool isGroupBox(const std::wstring& className, LONG style) {
    return className == L"Button" && (style & BS_TYPEMASK) == BS_GROUPBOX;
}

// A control of a dialog as found there.
struct Item {
    HWND window;
    std::wstring className;
    LONG style;
    RECT rect;  // in the dialog's client coordinates
};

struct ItemSearch {
    HWND dialog;
    std::vector<Item> items;
};

BOOL CALLBACK collectItem(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<ItemSearch*>(parameter);
    const LONG style = GetWindowLongW(window, GWL_STYLE);
    if (GetParent(window) != search->dialog || !(style & WS_VISIBLE)) return TRUE;
    Item item{window, classOf(window), style, {}};
    GetWindowRect(window, &item.rect);
    MapWindowPoints(nullptr, search->dialog, reinterpret_cast<POINT*>(&item.rect), 2);
    search->items.push_back(item);
    return TRUE;
}

// The dialog's visible controls, in the order of its template.
std::vector<Item> itemsOf(HWND dialog) {
    ItemSearch search{dialog, {}};
    EnumChildWindows(dialog, collectItem, reinterpret_cast<LPARAM>(&search));
    return search.items;
}

std::string describe(const Item& item) {
    std::string text;
    for (wchar_t c : item.className + L" \"" + windowText(item.window) + L"\"") text += c < 0x80 ? static_cast<char>(c) : '?';
    return text + " at (" + std::to_string(item.rect.left) + "," + std::to_string(item.rect.top) + ")-(" +
           std::to_string(item.rect.right) + "," + std::to_string(item.rect.bottom) + ")";
}

bool contains(const RECT& outer, const RECT& inner) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right && inner.bottom <= outer.bottom;
}

INT_PTR CALLBACK passiveDialog(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

// A dialog template of the program made in this process, hidden.
class TemplateCopy {
public:
    TemplateCopy(HMODULE program, UINT id) {
        HRSRC found = FindResourceW(program, MAKEINTRESOURCEW(id), RT_DIALOG);
        if (!found) return;
        const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(program, found)));
        std::vector<BYTE> copy(bytes, bytes + SizeofResource(program, found));
        // DLGTEMPLATEEX: version 1, signature 0xFFFF, help id, extended style, style.
        if (copy.size() < 16 || copy[0] != 1 || copy[2] != 0xFF || copy[3] != 0xFF) return;
        DWORD style;
        std::memcpy(&style, copy.data() + 12, sizeof style);
        style &= ~WS_VISIBLE;
        std::memcpy(copy.data() + 12, &style, sizeof style);
        m_dialog =
            CreateDialogIndirectParamW(program, reinterpret_cast<const DLGTEMPLATE*>(copy.data()), nullptr, passiveDialog, 0);
    }
    ~TemplateCopy() {
        if (m_dialog) DestroyWindow(m_dialog);
    }
    TemplateCopy(const TemplateCopy&) = delete;
    TemplateCopy& operator=(const TemplateCopy&) = delete;

    HWND handle() const { return m_dialog; }

private:
    HWND m_dialog = nullptr;
};

// A control's device context with the control's font selected.
class ControlDc {
public:
    explicit ControlDc(HWND control) : m_control(control), m_dc(GetDC(control)) {
        m_previous = SelectObject(m_dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
    }
    ~ControlDc() {
        SelectObject(m_dc, m_previous);
        ReleaseDC(m_control, m_dc);
    }
    ControlDc(const ControlDc&) = delete;
    ControlDc& operator=(const ControlDc&) = delete;

    // The extent of `text` as DrawText lays it out in `width` pixels.
    SIZE extent(const std::wstring& text, UINT format, int width) const {
        RECT area{0, 0, width, 0};
        DrawTextW(m_dc, text.c_str(), -1, &area, format | DT_CALCRECT);
        return {area.right - area.left, area.bottom - area.top};
    }
    int lineHeight() const {
        TEXTMETRICW metrics = {};
        GetTextMetricsW(m_dc, &metrics);
        return metrics.tmHeight;
    }

private:
    HWND m_control;
    HDC m_dc;
    HGDIOBJ m_previous;
};

SIZE clientSize(HWND window) {
    RECT area = {};
    GetClientRect(window, &area);
    return {area.right, area.bottom};
}

// Checks that the text `shown` fits the control `copy` (of the template made
// here) as its class and style draw it.
void expectTextFits(HWND copy, const std::wstring& shown, const std::string& what) {
    const std::wstring className = classOf(copy);
    const LONG style = GetWindowLongW(copy, GWL_STYLE);
    const SIZE room = clientSize(copy);
    const ControlDc dc(copy);
    if (className == L"Static") {
        const LONG type = style & SS_TYPEMASK;
        if (type != SS_LEFT && type != SS_CENTER && type != SS_RIGHT && type != SS_LEFTNOWORDWRAP && type != SS_SIMPLE) return;
        // A path the control shortens with an ellipsis is cut on purpose.
        if (style & SS_ELLIPSISMASK) return;
        UINT format = DT_EXPANDTABS | (style & SS_NOPREFIX ? DT_NOPREFIX : 0);
        format |= type == SS_LEFTNOWORDWRAP || type == SS_SIMPLE ? DT_SINGLELINE : DT_WORDBREAK;
        const SIZE need = dc.extent(shown, format, room.cx);
        EXPECT_LE(need.cx, room.cx) << what << ": a word is wider than the control";
        EXPECT_LE(need.cy, room.cy) << what << ": " << need.cy / std::max(1, dc.lineHeight()) << " lines in " << room.cy
                                    << " pixels";
    } else if (className == L"Button") {
        const SIZE text = dc.extent(shown, DT_SINGLELINE, room.cx);
        EXPECT_LE(text.cy, room.cy) << what << ": the text is higher than the control";
        if ((style & BS_TYPEMASK) == BS_GROUPBOX) {
            // The caption sits in the frame's top line, indented from its left end.
            EXPECT_LE(text.cx + 2 * dc.extent(L"0", DT_SINGLELINE, room.cx).cx, room.cx) << what;
            return;
        }
        // The text with the button's margins, or with the check mark before it.
        SIZE ideal = {0, 0};
        ASSERT_TRUE(SendMessageW(copy, BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal))) << what;
        EXPECT_LE(ideal.cx, room.cx) << what << ": the text needs " << ideal.cx << " pixels";
    } else if (className == L"Edit" && !(style & ES_MULTILINE)) {
        EXPECT_LE(dc.lineHeight(), room.cy) << what << ": a line is higher than the field";
    }
}

// The layout checks on a dialog that the program shows, and its screenshot.
void expectLaidOut(HWND shown, HANDLE process, UINT templateId, const std::string& name) {
    SCOPED_TRACE(name);
    // For the screenshot: painted anew, and the program waiting for input
    // with nothing left to do (its pictures then are on the screen).
    RedrawWindow(shown, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    WaitForInputIdle(process, 30000);
    screenshot(shown, "dpi" + std::to_string(kDpi) + "-" + name + ".png");
    const std::vector<Item> items = itemsOf(shown);
    ASSERT_FALSE(items.empty());
    const SIZE client = clientSize(shown);
    const RECT inside{0, 0, client.cx, client.cy};
    for (const Item& item : items) EXPECT_TRUE(contains(inside, item.rect)) << describe(item) << " leaves the dialog";
    for (std::size_t i = 0; i < items.size(); ++i) {
        for (std::size_t k = i + 1; k < items.size(); ++k) {
            RECT common;
            if (!IntersectRect(&common, &items[i].rect, &items[k].rect)) continue;
            const bool framed = (isGroupBox(items[i].className, items[i].style) && contains(items[i].rect, items[k].rect)) ||
                                (isGroupBox(items[k].className, items[k].style) && contains(items[k].rect, items[i].rect));
            EXPECT_TRUE(framed) << describe(items[i]) << " overlaps " << describe(items[k]);
        }
    }

    const cartscope::win::Library loaded(builtProgram().c_str(), LOAD_LIBRARY_AS_DATAFILE);
    const HMODULE program = loaded.get();
    ASSERT_NE(program, nullptr);
    const TemplateCopy copy(program, templateId);
    ASSERT_NE(copy.handle(), nullptr);
    const std::vector<Item> copied = itemsOf(copy.handle());
    ASSERT_EQ(copied.size(), items.size()) << "the template made here has other controls";
    EXPECT_EQ(clientSize(copy.handle()).cx, client.cx);
    EXPECT_EQ(clientSize(copy.handle()).cy, client.cy);
    for (std::size_t i = 0; i < items.size(); ++i) {
        const Item& item = items[i];
        ASSERT_EQ(copied[i].className, item.className);
        // Equal places mean equal fonts: the measurements here hold there.
        ASSERT_TRUE(EqualRect(&copied[i].rect, &item.rect))
            << describe(item) << " is elsewhere in the template made here: " << describe(copied[i]);
        expectTextFits(copied[i].window, windowText(item.window), describe(item));
    }
}

class AtHighDpi : public ::testing::Test {
protected:
    void SetUp() override {
        HDC screen = GetDC(nullptr);
        const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
        ASSERT_EQ(dpi, kDpi) << "the prefix is not set to " << kDpi << " DPI (run through cmake/wine-dpi-run.sh)";
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
        InitCommonControlsEx(&controls);
        install = dir.path() / "install";
        std::filesystem::create_directories(install);
        std::filesystem::copy_file(builtProgram(), install / "Cartscope CMD.exe");
    }

    using Started = cartscope::gui_testing::StartedProgram;

    Started start(const std::wstring& arguments) {
        Started started = cartscope::gui_testing::startProgram((install / "Cartscope CMD.exe").wstring(), arguments);
        if (!started.process) ADD_FAILURE() << "cannot start the program";
        return started;
    }

    // Waits for the program's dialog with this caption and item; answers the
    // message boxes that come first.
    static HWND waitForDialog(const Started& program, const wchar_t* caption, int item) {
        for (int i = 0; i < 3000 && program.process && program.running(20); ++i) {
            if (HWND box = findDialog(L"Cartscope CMD", 0, program.id)) press(firstButton(box), box);
            if (HWND dialog = findDialog(caption, item, program.id)) return dialog;
        }
        ADD_FAILURE() << "the program showed no such dialog";
        return nullptr;
    }

    static void expectEnded(const Started& program) {
        if (!program.process) return;
        EXPECT_FALSE(program.running(10000)) << "the program ends";
        if (program.running()) TerminateProcess(program.process.get(), 1);
    }

    cartscope::testing::TempDir dir;
    std::filesystem::path install;
};

}  // namespace

// Wine treats every program as DPI aware; Windows reads the manifest, as
// this does.
TEST(ProgramManifest, AsksForSystemDpiAwareness) {
    ACTCTXW context = {};
    context.cbSize = sizeof context;
    context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    const std::wstring program = builtProgram();
    context.lpSource = program.c_str();
    context.lpResourceName = MAKEINTRESOURCEW(1);
    const std::unique_ptr<void, decltype(&ReleaseActCtx)> activation(CreateActCtxW(&context), &ReleaseActCtx);
    ASSERT_NE(activation.get(), INVALID_HANDLE_VALUE) << GetLastError();
    wchar_t value[16] = {};
    SIZE_T length = 0;
    ASSERT_TRUE(QueryActCtxSettingsW(0, activation.get(), L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware",
                                     value, 16, &length));
    EXPECT_STREQ(value, L"true");
}

TEST_F(AtHighDpi, LogDialog) {
#ifndef CARTSCOPE_TEST_HOOKS
    GTEST_SKIP() << "built without the test hooks: the log dialog would not stay";
#endif
    cartscope::testing::RomSpec card;
    card.usedSize = 0x5000;
    const auto rom = dir.path() / "A game with a rather long file name, as many have.nds";
    cartscope::testing::writeFile(rom, cartscope::testing::buildRom(card));
    const auto list = dir.path() / "paths.tmp";
    {
        const std::wstring path = rom.wstring();
        std::ofstream(list, std::ios::binary)
            .write(reinterpret_cast<const char*>(path.c_str()), static_cast<std::streamsize>((path.size() + 1) * 2));
    }
    // The worker waits at the file until Cancel, so the dialog stays as it is.
    const HoldForCancelAt hold(1);
    const Started program = start(L"/command:trim /pathfile:\"" + list.wstring() + L"\"");
    HWND dialog = waitForDialog(program, L"Cartscope", kLogEdit);
    ASSERT_NE(dialog, nullptr);
    for (int i = 0; i < 3000 && windowText(GetDlgItem(dialog, kLogEdit)).empty() && program.running(20); ++i) {
    }
    ASSERT_NE(windowText(GetDlgItem(dialog, kLogEdit)), L"") << "the worker took up no file";
    expectLaidOut(dialog, program.process.get(), kLogTemplate, "log-dialog");
    press(GetDlgItem(dialog, IDCANCEL), dialog);
    expectEnded(program);
}

TEST_F(AtHighDpi, SettingsDialog) {
    const Started program = start(L"/command:settings");
    HWND dialog = waitForDialog(program, L"Cartscope Settings", kPatternEdit);
    ASSERT_NE(dialog, nullptr);
    expectLaidOut(dialog, program.process.get(), kSettingsTemplate, "settings-dialog");
    // Cancel: nothing is stored.
    press(GetDlgItem(dialog, IDCANCEL), dialog);
    expectEnded(program);
}

TEST_F(AtHighDpi, AboutDialog) {
    // The program passes for a library: its longest version text.
    std::filesystem::copy_file(builtProgram(), install / "Cartscope.dll");
    const Started program = start(L"/command:info");
    HWND dialog = waitForDialog(program, L"Cartscope", kProgramVersion);
    ASSERT_NE(dialog, nullptr);
    expectLaidOut(dialog, program.process.get(), kAboutTemplate, "about-dialog");
    press(GetDlgItem(dialog, IDOK), dialog);
    expectEnded(program);
}

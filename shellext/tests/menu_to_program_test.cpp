// From the context menu to the command program, as a user goes: "Trim selected
// ROMSs" in Cartscope.dll starts the real "Cartscope CMD.exe" beside it; the
// path message boxes are answered, and the files come out trimmed.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "com_support.h"
#include "gui_driver.h"
#include "guids.h"
#include "rom_builder.h"
#include "temp_dir.h"

using cartscope::shell::testing::ComPtr;
using cartscope::shell::testing::DropData;
using cartscope::testing::buildRom;
using cartscope::testing::RomSpec;
using namespace cartscope::gui_testing;

namespace {

struct Windows {
    std::wstring program;  // only windows of this program count
    HWND messageBox = nullptr;
    HWND logDialog = nullptr;
    DWORD process = 0;
};

BOOL CALLBACK findProgramWindows(HWND window, LPARAM parameter) {
    auto* found = reinterpret_cast<Windows*>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (!IsWindowVisible(window)) return TRUE;
    // Windows of other programs (another test, another run) are not ours to press.
    HANDLE handle = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process);
    if (!handle) return TRUE;
    wchar_t image[4 * MAX_PATH] = {};
    DWORD length = 4 * MAX_PATH;
    const BOOL named = QueryFullProcessImageNameW(handle, 0, image, &length);
    CloseHandle(handle);
    if (!named || lstrcmpiW(image, found->program.c_str()) != 0) return TRUE;
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (std::wstring(className) != L"#32770") return TRUE;
    const std::wstring caption = windowText(window);
    if (caption == L"Cartscope CMD") found->messageBox = window, found->process = process;
    else if (caption == L"Cartscope" && GetDlgItem(window, 1004)) found->logDialog = window, found->process = process;
    return TRUE;
}

}  // namespace

TEST(MenuToProgram, TrimSelectedRomsRunsTheProgram) {
    // The 32-bit program is built in its own folder; the library starts it
    // from the library's folder, so both are copied into one.
    const std::filesystem::path program = CARTSCOPE_CMD_EXE;
    if (!std::filesystem::exists(program)) GTEST_SKIP() << "the win32 build has not made " << program.string();
    cartscope::testing::TempDir dir;
    const auto install = dir.path() / "install";
    std::filesystem::create_directories(install);
    std::filesystem::copy_file(cartscope::shell::testing::programFolder() + L"Cartscope.dll", install / "Cartscope.dll");
    std::filesystem::copy_file(program, install / "Cartscope CMD.exe");

    RomSpec card;
    card.usedSize = 0x5000;
    std::vector<std::wstring> roms;
    for (const char* name : {"A.nds", "B.nds", "C.nds"}) {
        cartscope::testing::writeFile(dir.path() / name, buildRom(card));
        roms.push_back((dir.path() / name).wstring());
    }

    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    {
        HMODULE library = LoadLibraryW((install / "Cartscope.dll").wstring().c_str());
        ASSERT_NE(library, nullptr);
        auto getClassObject = reinterpret_cast<HRESULT(__stdcall*)(REFCLSID, REFIID, void**)>(
            reinterpret_cast<void*>(GetProcAddress(library, "DllGetClassObject")));
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(getClassObject(cartscope::shell::kClsidFileIconExt, IID_IClassFactory, factory.putVoid()), S_OK);
        ComPtr<IShellExtInit> init;
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IShellExtInit, init.putVoid()), S_OK);
        DropData selection(roms, true);
        ASSERT_EQ(init->Initialize(nullptr, &selection, nullptr), S_OK);
        ComPtr<IContextMenu> menu;
        ASSERT_EQ(init->QueryInterface(IID_IContextMenu, menu.putVoid()), S_OK);
        HMENU popup = CreatePopupMenu();
        ASSERT_EQ(menu->QueryContextMenu(popup, 0, 100, 300, CMF_NORMAL), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 46));
        CMINVOKECOMMANDINFO info = {};
        info.cbSize = sizeof info;
        info.lpVerb = MAKEINTRESOURCEA(33);  // "Trim selected ROMSs"
        ASSERT_EQ(menu->InvokeCommand(&info), S_OK);
        DestroyMenu(popup);
    }

    // Answer the program's path boxes until its log dialog has come and gone.
    std::vector<std::wstring> shown;
    bool sawLog = false;
    HANDLE process = nullptr;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        Windows found{(install / "Cartscope CMD.exe").wstring()};
        EnumWindows(findProgramWindows, reinterpret_cast<LPARAM>(&found));
        if (!process && found.process) process = OpenProcess(SYNCHRONIZE, FALSE, found.process);
        if (found.messageBox) {
            shown.push_back(windowText(GetDlgItem(found.messageBox, 0xFFFF)));
            press(firstButton(found.messageBox), found.messageBox);
            continue;
        }
        if (found.logDialog) sawLog = true;
        if (process && WaitForSingleObject(process, 20) == WAIT_OBJECT_0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_NE(process, nullptr) << "the program never showed a window";
    EXPECT_EQ(WaitForSingleObject(process, 0), WAIT_OBJECT_0) << "the program ended by itself";
    CloseHandle(process);
    EXPECT_EQ(shown, roms) << "one message box per path, in selection order";
    (void)sawLog;  // the dialog may close before it is seen
    for (const auto& rom : roms) EXPECT_EQ(std::filesystem::file_size(rom), 0x5200u);
    CoUninitialize();
}

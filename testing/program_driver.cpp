#include "testing/program_driver.h"

#include <tlhelp32.h>

#include <chrono>
#include <string>
#include <thread>
#include <utility>

#include "testing/gui_driver.h"
#include "win/process.h"

namespace cartscope::gui_testing {

namespace {

// Read by the program's worker (log_dialog.cpp).
constexpr wchar_t kHoldForCancelAt[] = L"CARTSCOPE_TEST_HOLD_FOR_CANCEL_AT";

// Dialog item ids of the program's windows.
constexpr int kLogEdit = 1004;
constexpr int kAboutVersion = 1016;

struct Found {
    DWORD process;
    HWND messageBox = nullptr;
    HWND logDialog = nullptr;
    HWND aboutBox = nullptr;
};

BOOL CALLBACK findWindows(HWND window, LPARAM parameter) {
    auto* found = reinterpret_cast<Found*>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != found->process || !IsWindowVisible(window)) return TRUE;
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (std::wstring(className) != L"#32770") return TRUE;
    const std::wstring caption = windowText(window);
    if (caption == L"Cartscope CMD")
        found->messageBox = window;
    else if (caption == L"Cartscope" && GetDlgItem(window, kLogEdit))
        found->logDialog = window;
    else if (caption == L"Cartscope" && GetDlgItem(window, kAboutVersion))
        found->aboutBox = window;
    return TRUE;
}

Found windowsOf(DWORD process) {
    Found found{process};
    EnumWindows(findWindows, reinterpret_cast<LPARAM>(&found));
    return found;
}

void waitUntilGone(HWND window) {
    for (int i = 0; i < 500 && IsWindow(window) && IsWindowVisible(window); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

// The system menu's item of the log dialog opens the plain about box; its
// three version fields are read and it is closed with OK.
std::vector<std::wstring> readAboutBox(HWND logDialog, DWORD process) {
    PostMessageW(logDialog, WM_SYSCOMMAND, 0x10, 0);
    for (int i = 0; i < 500; ++i) {
        if (HWND about = windowsOf(process).aboutBox) {
            std::vector<std::wstring> fields;
            for (int id : {kAboutVersion, kAboutVersion + 1, kAboutVersion + 2})
                fields.push_back(windowText(GetDlgItem(about, id)));
            PostMessageW(GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
            for (int k = 0; k < 500 && IsWindow(about); ++k) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            return fields;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {L"(no about box)"};
}

}  // namespace

HoldForCancelAt::HoldForCancelAt(int file) { SetEnvironmentVariableW(kHoldForCancelAt, std::to_wstring(file).c_str()); }

HoldForCancelAt::~HoldForCancelAt() { SetEnvironmentVariableW(kHoldForCancelAt, nullptr); }

ProgramRun driveProgram(HANDLE process, const DriveOptions& options) {
    ProgramRun run;
    const DWORD id = GetProcessId(process);
    bool cancelled = false, pressedEnter = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (WaitForSingleObject(process, 20) == WAIT_OBJECT_0) {
            run.ended = true;
            break;
        }
        const Found found = windowsOf(id);
        if (found.messageBox) {
            run.shownPaths.push_back(windowText(GetDlgItem(found.messageBox, 0xFFFF)));
            if (HWND button = firstButton(found.messageBox)) PostMessageW(button, BM_CLICK, 0, 0);
            waitUntilGone(found.messageBox);
            continue;
        }
        if (!found.logDialog) continue;
        run.sawLog = true;
        HWND button = GetDlgItem(found.logDialog, IDCANCEL);
        std::wstring log = windowText(GetDlgItem(found.logDialog, kLogEdit));
        std::wstring buttonText = windowText(button);
        // The texts count only when the dialog is still shown after they were
        // read: one that is being closed (hidden first) may give empty texts.
        if (!IsWindowVisible(found.logDialog)) continue;
        run.log = std::move(log);
        run.buttonText = std::move(buttonText);
        if (options.pressEnterWhileRunning && !pressedEnter && run.buttonText != L"Close") {
            // What the dialog manager sends for Enter in a dialog without a
            // default button.
            PostMessageW(found.logDialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            pressedEnter = true;
            continue;
        }
        if (!cancelled && !options.cancelWhenLogNames.empty() && run.log.find(options.cancelWhenLogNames) != std::wstring::npos) {
            screenshot(found.logDialog, "log-dialog-running.png");
            PostMessageW(button, BM_CLICK, 0, 0);
            cancelled = true;
            continue;
        }
        if (run.buttonText != L"Close") continue;
        if (options.openAboutBox && run.aboutFields.empty()) {
            run.aboutFields = readAboutBox(found.logDialog, id);
            continue;
        }
        // A user takes a moment to read the log: the dialog must wait for Close.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        run.waitedForClose = WaitForSingleObject(process, 0) == WAIT_TIMEOUT && IsWindowVisible(found.logDialog);
        screenshot(found.logDialog, "log-dialog-after-failure.png");
        PostMessageW(button, BM_CLICK, 0, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!run.ended) TerminateProcess(process, 1);
    return run;
}

StartedProgram startProgram(const std::wstring& program, const std::wstring& arguments) {
    win::StartedProcess started = win::startProcess(nullptr, L"\"" + program + L"\" " + arguments);
    StartedProgram result;
    result.process = std::move(started.process);
    result.id = started.id;
    return result;
}

HANDLE waitForProcess(const std::wstring& image, int seconds) {
    using Owned = win::Handle;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    do {
        Owned snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        Owned newest;
        ULONGLONG newestStart = 0;
        PROCESSENTRY32W entry = {};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
            Owned candidate(
                OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
            if (!candidate) continue;
            wchar_t path[4 * MAX_PATH] = {};
            DWORD length = 4 * MAX_PATH;
            FILETIME created, exited, kernel, user;
            if (!QueryFullProcessImageNameW(candidate.get(), 0, path, &length) || lstrcmpiW(path, image.c_str()) != 0 ||
                !GetProcessTimes(candidate.get(), &created, &exited, &kernel, &user) ||
                WaitForSingleObject(candidate.get(), 0) != WAIT_TIMEOUT)
                continue;
            const ULONGLONG start = (ULONGLONG(created.dwHighDateTime) << 32) | created.dwLowDateTime;
            if (start >= newestStart) {
                newest = std::move(candidate);
                newestStart = start;
            }
        }
        if (newest) return newest.release();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < deadline);
    return nullptr;
}

}  // namespace cartscope::gui_testing

#include "cmd/cleanup.h"

#include <shlwapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>

#include "cmd/framework/application.h"
#include "core/command_request.h"
#include "core/platform/data_folder.h"
#include "win/handle.h"
#include "win/module_path.h"
#include "win/path.h"
#include "win/process.h"
#include "win/text.h"

namespace cartscope::cmd {

namespace {

const wchar_t kRestartMutexName[] = L"Cartscope-RESTART_MUTEX";

// The program's handle to the restart mutex, while it has one.
win::Handle g_restartMutex;

using win::Handle;

// Waits for the mutex (an abandoned one counts as acquired) and releases it.
void waitAndRelease(HANDLE mutex) {
    const DWORD waited = WaitForSingleObject(mutex, INFINITE);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) ReleaseMutex(mutex);
}

// Whether CreateMutexW found the mutex held by another instance. One that
// runs with other rights makes it refuse the handle (ERROR_ACCESS_DENIED);
// the mutex is then opened with just the rights to wait for it.
bool existedBefore(DWORD error) { return error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED; }

Handle openForWaiting(HANDLE created) {
    return Handle(created ? created : OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, kRestartMutexName));
}

bool fileExists(const std::wstring& path) {
    struct _stat32 status;
    return _wstat32(path.c_str(), &status) == 0;
}

BOOL CALLBACK askToEnd(HWND window, LPARAM process) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == static_cast<DWORD>(process)) {
        PostMessageW(window, WM_ENDSESSION, 0, 1);
        PostMessageW(window, WM_QUIT, 0, 0);
    }
    return TRUE;
}

}  // namespace

// --- The restart mutex -------------------------------------------------------

bool asksForCleanup(const wchar_t* commandLine) {
    return commandLine && std::wcsstr(commandLine, win::toWide(commandSwitch(Command::Cleanup)).c_str()) != nullptr;
}

void waitForRestartMutex() {
    HANDLE created = CreateMutexW(nullptr, FALSE, kRestartMutexName);
    const DWORD error = GetLastError();
    const Handle mutex = openForWaiting(created);
    if (mutex && existedBefore(error)) waitAndRelease(mutex.get());
}

std::wstring cleanupCommandLine(const std::wstring& program) {
    // PathQuoteSpacesW works in a buffer of MAX_PATH characters.
    wchar_t quoted[MAX_PATH + 2] = {};
    std::wstring line;
    if (program.size() + 2 < MAX_PATH) {
        std::wcscpy(quoted, program.c_str());
        PathQuoteSpacesW(quoted);
        line = quoted;
    } else {
        line = program.find(L' ') != std::wstring::npos ? L"\"" + program + L"\"" : program;
    }
    return line + win::toWide(buildCommandLine(Command::Cleanup));
}

bool startCleanupInstance(const std::wstring& program) {
    HANDLE created = CreateMutexW(nullptr, TRUE, kRestartMutexName);
    const DWORD error = GetLastError();
    if (existedBefore(error)) {
        const Handle mutex = openForWaiting(created);
        if (mutex) waitAndRelease(mutex.get());
        return false;
    }
    g_restartMutex.reset(created);  // owned until this process ends

    const std::wstring line = cleanupCommandLine(program.empty() ? win::modulePath() : program);
    return static_cast<bool>(win::startProcess(nullptr, line));
}

void closeRestartMutex() { g_restartMutex.reset(); }

// --- The clean-up ------------------------------------------------------------

const wchar_t kRestartQuestion[] = L"The Windows Explorer must be restarted \nto complete the update !\n\nRestart now?";

CleanupEnvironment programCleanupEnvironment() {
    CleanupEnvironment environment;
    if (const auto folder = platform::dataFolder()) environment.dataFolder = win::toWide(*folder);
    environment.programPath = win::modulePath();
    environment.askRestart = [] { return ui::messageBox(kRestartQuestion, MB_YESNO | MB_ICONQUESTION) == IDYES; };
    environment.closeExplorer = closeExplorer;
    environment.startProcess = startProcess;
    environment.deleteAtReboot = [](const std::wstring& path) {
        MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    };
    return environment;
}

void cleanupAfterUpdate() { cleanupAfterUpdate(programCleanupEnvironment()); }

void cleanupAfterUpdate(const CleanupEnvironment& environment) {
    struct OldCopy {
        std::wstring path;
        bool library;
    };
    std::vector<OldCopy> copies;
    if (environment.dataFolder) copies.push_back({*environment.dataFolder + L"nds-rom.dat.old", false});
    copies.push_back({environment.programPath + L".old", false});
    copies.push_back({win::besidePath(environment.programPath, L"Cartscope.dll.old"), true});

    for (const OldCopy& copy : copies) {
        if (!fileExists(copy.path)) continue;
        if (_wremove(copy.path.c_str()) == 0) continue;
        environment.deleteAtReboot(copy.path);
        if (!copy.library) continue;
        // The library is held by the Explorer: restarting it releases it now.
        if (environment.askRestart()) {
            environment.closeExplorer();
            wchar_t windows[MAX_PATH] = {};
            const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
            if (length > 0 && length < MAX_PATH) environment.startProcess(std::wstring(windows) + L"\\explorer.exe");
            if (_wremove(copy.path.c_str()) != 0) environment.deleteAtReboot(copy.path);
        } else {
            environment.deleteAtReboot(copy.path);
        }
    }
}

// --- Ending the Explorer -----------------------------------------------------

std::vector<DWORD> findProcessesNamed(const std::wstring& name) {
    std::vector<DWORD> found;
    const Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (snapshot.get() == INVALID_HANDLE_VALUE) return found;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry))
        if (name == entry.szExeFile) found.push_back(entry.th32ProcessID);
    std::sort(found.begin(), found.end());
    return found;
}

bool waitForProcessEnd(DWORD process, DWORD milliseconds) {
    const Handle handle(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, process));
    if (!handle) return true;
    DWORD code = 0;
    for (DWORD i = 0; i < milliseconds / 100; ++i) {
        if (GetExitCodeProcess(handle.get(), &code) && code != STILL_ACTIVE) return true;
        Sleep(100);
    }
    return GetExitCodeProcess(handle.get(), &code) && code != STILL_ACTIVE;
}

bool postQuitToProcessThread(DWORD process, HANDLE threadSnapshot) {
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(threadSnapshot, &entry); more; more = Thread32Next(threadSnapshot, &entry))
        if (entry.th32OwnerProcessID == process && PostThreadMessageW(entry.th32ThreadID, WM_QUIT, 0, 0)) return true;
    return false;
}

void closeProcessesNamed(const std::wstring& name) {
    const std::vector<DWORD> processes = findProcessesNamed(name);
    if (processes.empty()) return;
    for (DWORD process : processes) EnumWindows(askToEnd, static_cast<LPARAM>(process));
    for (int pass = 0; pass < 20; ++pass) {
        for (DWORD process : processes) {
            if (waitForProcessEnd(process, 500)) continue;
            const Handle threads(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, process));
            if (threads.get() != INVALID_HANDLE_VALUE) postQuitToProcessThread(process, threads.get());
        }
    }
    for (DWORD process : processes) {
        if (waitForProcessEnd(process, 10000)) continue;
        const Handle handle(OpenProcess(PROCESS_TERMINATE, FALSE, process));
        if (handle) TerminateProcess(handle.get(), 0);
    }
}

void closeExplorer() { closeProcessesNamed(L"explorer.exe"); }

bool startProcess(const std::wstring& path) { return static_cast<bool>(win::startProcess(path.c_str(), {})); }

}  // namespace cartscope::cmd

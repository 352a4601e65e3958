// After an update: the restart mutex between the updating instance and the
// clean-up instance, the removal of the old copies left beside the new files,
// and the restart of the Explorer that releases the old library.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace cartscope::cmd {

// --- The restart mutex -------------------------------------------------------

// Whether the unsplit command line asks for the clean-up.
bool asksForCleanup(const wchar_t* commandLine);

// Waits, when an updating instance owns the restart mutex, until it has ended.
void waitForRestartMutex();

// Makes this instance the owner of the restart mutex and starts the clean-up
// instance: `program` (this program when empty) with "/command:cleanup". When
// another instance owns the clean-up, waits for it and starts nothing (false).
bool startCleanupInstance(const std::wstring& program = {});

// The clean-up instance's command line for a program path: quoted when it
// holds blanks, then " /command:cleanup".
std::wstring cleanupCommandLine(const std::wstring& program);

// Closes the program's handle to the restart mutex, keeping any ownership.
void closeRestartMutex();

// --- The clean-up ------------------------------------------------------------

// What the clean-up works with; the program's real ones by default.
struct CleanupEnvironment {
    std::optional<std::wstring> dataFolder;  // ending in a backslash
    std::wstring programPath;
    // Asks whether to restart the Explorer now.
    std::function<bool()> askRestart;
    std::function<void()> closeExplorer;
    std::function<bool(const std::wstring&)> startProcess;
    // Requests the deletion of a file at the next start of Windows.
    std::function<void(const std::wstring&)> deleteAtReboot;
};
CleanupEnvironment programCleanupEnvironment();

// The command "cleanup": removes nds-rom.dat.old, the program's .old copy and
// Cartscope.dll.old; what cannot be removed is scheduled for removal at the
// next start of Windows, and for the library the Explorer may be restarted.
void cleanupAfterUpdate();
void cleanupAfterUpdate(const CleanupEnvironment& environment);

// The restart question.
extern const wchar_t kRestartQuestion[];

// --- Ending the Explorer -----------------------------------------------------

// Ends every process whose executable is named "explorer.exe" (exactly):
// asked politely, then pressed with WM_QUIT, then terminated.
void closeExplorer();
// The same for another executable name (tests use their own processes).
void closeProcessesNamed(const std::wstring& name);

// Identifiers of the processes whose executable name equals `name` exactly
// (case-sensitive), ascending.
std::vector<DWORD> findProcessesNamed(const std::wstring& name);

// Whether the process has ended within about `milliseconds` (polled every
// 100 ms); true when it cannot be opened.
bool waitForProcessEnd(DWORD process, DWORD milliseconds);

// Posts WM_QUIT to the first thread of the process (in the thread snapshot)
// that takes it.
bool postQuitToProcessThread(DWORD process, HANDLE threadSnapshot);

// Starts a program by its path, without a command line; true when it started.
bool startProcess(const std::wstring& path);

}  // namespace cartscope::cmd

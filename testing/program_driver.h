// Driving a running "Cartscope CMD.exe" as a user would: its path message
// boxes are answered, its log is read as it grows, Cancel and Close are
// pressed, the plain about box is opened from the log's system menu. Only
// windows of the one process count, so runs side by side do not meet.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "win/handle.h"

namespace cartscope::gui_testing {

struct ProgramRun {
    std::vector<std::wstring> shownPaths;   // the path message boxes' texts, in order
    std::wstring log;                       // the log as last seen
    std::wstring buttonText;                // the Cancel/Close button as last seen
    std::vector<std::wstring> aboutFields;  // the about box's version fields, when opened
    bool sawLog = false;                    // the log dialog was seen at least once
    bool waitedForClose = false;            // it showed "Close" and stayed until pressed
    bool ended = false;                     // the program ended (by itself or through Close)
};

struct DriveOptions {
    // Press Cancel once the log names this file (empty: never). A file's first
    // log line appears once the worker has passed its cancel check for it.
    std::wstring cancelWhenLogNames;
    // Press Enter once, the first time the log dialog is seen running.
    bool pressEnterWhileRunning = false;
    // When the dialog waits with "Close", open the about box before closing.
    bool openAboutBox = true;
    int seconds = 60;
};

// While it exists, a program started from this process (of a build with
// CARTSCOPE_TEST_HOOKS) waits, once it has taken up the `file`-th file of its
// batch (counted from 1; its log line written), until Cancel has been
// pressed, and only then changes that file. So Cancel always comes while that
// file is in hand, however slow or fast the machine.
class HoldForCancelAt {
public:
    explicit HoldForCancelAt(int file);
    ~HoldForCancelAt();
    HoldForCancelAt(const HoldForCancelAt&) = delete;
    HoldForCancelAt& operator=(const HoldForCancelAt&) = delete;
};

// A program a test started.
struct StartedProgram {
    win::Handle process;  // null when it could not be started
    DWORD id = 0;
    // Whether it is still running after `milliseconds`.
    bool running(DWORD milliseconds = 0) const { return WaitForSingleObject(process.get(), milliseconds) == WAIT_TIMEOUT; }
};

// Starts `program` (a full path) with its quoted path and `arguments` as its
// command line.
StartedProgram startProgram(const std::wstring& program, const std::wstring& arguments);

// Drives the process until it ends or the time is up (then it is terminated).
// `process` needs SYNCHRONIZE and PROCESS_TERMINATE rights.
ProgramRun driveProgram(HANDLE process, const DriveOptions& options = {});

// The newest running process whose image is `image` (a full path), waited
// for at most `seconds`; null when none came.
HANDLE waitForProcess(const std::wstring& image, int seconds = 30);

}  // namespace cartscope::gui_testing

// A worker thread that its owner creates, starts and deletes. It is created
// suspended; resume() starts it. The object keeps the thread's handle until it
// is deleted, so the exit code stays readable after the thread has ended.
// Deleting the object does not wait for the thread or stop it.
#pragma once

#include <windows.h>

#include <optional>

#include "win/handle.h"

namespace cartscope::ui {

class WorkerThread {
public:
    // The thread's procedure: receives the argument, returns the exit code.
    using Procedure = unsigned(__stdcall*)(void* argument);

    // Throws std::system_error when the thread cannot be created.
    WorkerThread(Procedure procedure, void* argument, int priority = THREAD_PRIORITY_NORMAL, unsigned stackSize = 0);
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;
    ~WorkerThread();

    // Starts the suspended thread. Returns false when it was not suspended.
    bool resume();

    // The exit code (STILL_ACTIVE while the thread runs), or nothing when
    // GetExitCodeThread fails.
    std::optional<DWORD> exitCode() const;

    HANDLE handle() const { return m_handle.get(); }
    DWORD id() const { return m_id; }

private:
    win::Handle m_handle;
    DWORD m_id = 0;
};

}  // namespace cartscope::ui

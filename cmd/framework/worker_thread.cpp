#include "cmd/framework/worker_thread.h"

#include <process.h>

#include <cerrno>
#include <system_error>

namespace cartscope::ui {

WorkerThread::WorkerThread(Procedure procedure, void* argument, int priority, unsigned stackSize) {
    unsigned id = 0;
    // _beginthreadex rather than CreateThread: the procedure may use the C runtime.
    const uintptr_t handle = _beginthreadex(nullptr, stackSize, procedure, argument, CREATE_SUSPENDED, &id);
    if (handle == 0) {
        throw std::system_error(errno, std::generic_category(), "worker thread");
    }
    m_handle.reset(reinterpret_cast<HANDLE>(handle));
    m_id = id;
    if (priority != THREAD_PRIORITY_NORMAL) {
        SetThreadPriority(m_handle.get(), priority);
    }
}

WorkerThread::~WorkerThread() = default;

bool WorkerThread::resume() { return ResumeThread(m_handle.get()) == 1; }

std::optional<DWORD> WorkerThread::exitCode() const {
    DWORD code = 0;
    if (GetExitCodeThread(m_handle.get(), &code) == FALSE) {
        return std::nullopt;
    }
    return code;
}

}  // namespace cartscope::ui

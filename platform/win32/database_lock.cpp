// Named semaphores of the logon session.
#include "platform/database_lock.h"

#include <windows.h>

namespace cartscope::platform {

namespace {

const wchar_t kReadName[] = L"Cartscope Semaphore-read";
const wchar_t kWriteName[] = L"Cartscope Semaphore-write";

// Creates the semaphore, or opens it when another process made it first.
HANDLE openSemaphore(const wchar_t* name, LONG count) { return CreateSemaphoreW(nullptr, count, count, name); }

}  // namespace

DatabaseReadLock::DatabaseReadLock() {
    HANDLE read = openSemaphore(kReadName, kDatabaseReaderSlots);
    if (!read) return;
    WaitForSingleObject(read, INFINITE);
    read_ = read;
}

DatabaseReadLock::~DatabaseReadLock() {
    if (!read_) return;
    ReleaseSemaphore(static_cast<HANDLE>(read_), 1, nullptr);
    CloseHandle(static_cast<HANDLE>(read_));
}

DatabaseWriteLock::DatabaseWriteLock() {
    HANDLE write = openSemaphore(kWriteName, 1);
    if (!write) return;
    WaitForSingleObject(write, INFINITE);
    write_ = write;
    HANDLE read = openSemaphore(kReadName, kDatabaseReaderSlots);
    if (!read) return;
    for (int i = 0; i < kDatabaseReaderSlots; ++i) WaitForSingleObject(read, INFINITE);
    read_ = read;
}

DatabaseWriteLock::~DatabaseWriteLock() {
    if (read_) {
        ReleaseSemaphore(static_cast<HANDLE>(read_), kDatabaseReaderSlots, nullptr);
        CloseHandle(static_cast<HANDLE>(read_));
    }
    if (write_) {
        ReleaseSemaphore(static_cast<HANDLE>(write_), 1, nullptr);
        CloseHandle(static_cast<HANDLE>(write_));
    }
}

}  // namespace cartscope::platform

// Named semaphores of the logon session.
#include "core/platform/database_lock.h"

#include <windows.h>

#include "win/handle.h"

namespace cartscope::platform {

namespace {

const wchar_t kReadName[] = L"Cartscope Semaphore-read";
const wchar_t kWriteName[] = L"Cartscope Semaphore-write";

// Creates the semaphore, or opens it when another process made it first.
win::Handle openSemaphore(const wchar_t* name, LONG count) { return win::Handle(CreateSemaphoreW(nullptr, count, count, name)); }

// Gives `count` slots back and closes the semaphore the lock held.
void letGo(void* held, LONG count) {
    const win::Handle semaphore(static_cast<HANDLE>(held));
    if (semaphore) ReleaseSemaphore(semaphore.get(), count, nullptr);
}

}  // namespace

bool readersKeepDatabaseOpen() { return false; }

DatabaseReadLock::DatabaseReadLock() {
    win::Handle read = openSemaphore(kReadName, kDatabaseReaderSlots);
    if (!read) return;
    WaitForSingleObject(read.get(), INFINITE);
    read_ = read.release();
}

DatabaseReadLock::~DatabaseReadLock() { letGo(read_, 1); }

DatabaseWriteLock::DatabaseWriteLock() {
    win::Handle write = openSemaphore(kWriteName, 1);
    if (!write) return;
    WaitForSingleObject(write.get(), INFINITE);
    write_ = write.release();
    win::Handle read = openSemaphore(kReadName, kDatabaseReaderSlots);
    if (!read) return;
    for (int i = 0; i < kDatabaseReaderSlots; ++i) WaitForSingleObject(read.get(), INFINITE);
    read_ = read.release();
}

DatabaseWriteLock::~DatabaseWriteLock() {
    letGo(read_, kDatabaseReaderSlots);
    letGo(write_, 1);
}

}  // namespace cartscope::platform

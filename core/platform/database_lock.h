// Orders the readers and the writer of the release database across all
// processes of the user: readers share, a writer excludes them all. Windows
// uses named semaphores (20 reader slots); POSIX systems a flock(2) lock file
// in the data folder, which the kernel lets go when a holder dies.
#pragma once

namespace cartscope::platform {

constexpr int kDatabaseReaderSlots = 20;

// Whether a reader may keep the database file open from one lookup to the
// next. On POSIX systems a writer's rename replaces the file all the same
// (the open one lives on, nameless); on Windows an open file would keep the
// updater from replacing it.
bool readersKeepDatabaseOpen();

// One reader's share, held for the lifetime of the object. When the lock
// cannot be had, the reader goes on without it.
class DatabaseReadLock {
public:
    DatabaseReadLock();
    ~DatabaseReadLock();
    DatabaseReadLock(const DatabaseReadLock&) = delete;
    DatabaseReadLock& operator=(const DatabaseReadLock&) = delete;

private:
    void* read_ = nullptr;
};

// The writer's lock (on Windows the write semaphore, then all reader slots).
// Held for the lifetime of the object. When it cannot be had, nothing is
// taken.
class DatabaseWriteLock {
public:
    DatabaseWriteLock();
    ~DatabaseWriteLock();
    DatabaseWriteLock(const DatabaseWriteLock&) = delete;
    DatabaseWriteLock& operator=(const DatabaseWriteLock&) = delete;

private:
    void* write_ = nullptr;
    [[maybe_unused]] void* read_ = nullptr;  // Windows: the reader slots it holds
};

}  // namespace cartscope::platform

// Orders the readers and the writer of the release database across all
// processes of the user: up to 20 readers at once; a writer excludes them all.
#pragma once

namespace cartscope::platform {

constexpr int kDatabaseReaderSlots = 20;

// One reader slot, held for the lifetime of the object. When the semaphore
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

// The writer's lock: the write semaphore, then all reader slots. Held for the
// lifetime of the object. When the write semaphore cannot be had, nothing is
// taken.
class DatabaseWriteLock {
public:
    DatabaseWriteLock();
    ~DatabaseWriteLock();
    DatabaseWriteLock(const DatabaseWriteLock&) = delete;
    DatabaseWriteLock& operator=(const DatabaseWriteLock&) = delete;

private:
    void* write_ = nullptr;
    void* read_ = nullptr;
};

}  // namespace cartscope::platform

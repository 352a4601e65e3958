// POSIX named semaphores, one pair per user (their names live system-wide).
#include "platform/database_lock.h"

#include <cerrno>
#include <mutex>
#include <fcntl.h>
#include <semaphore.h>
#include <string>
#include <unistd.h>

namespace cartscope::platform {

namespace {

std::string semaphoreName(const char* role) { return "/cartscope-" + std::to_string(getuid()) + "-semaphore-" + role; }

// Creates the semaphore, or opens it when another process made it first.
// Opening maps a file, which costs more than the lookup it guards, so each
// semaphore stays open for the life of the process (a failed open is tried
// again next time).
sem_t* openSemaphore(const char* role, unsigned count) {
    static std::mutex mutex;
    static sem_t* read = nullptr;
    static sem_t* write = nullptr;
    std::lock_guard<std::mutex> hold(mutex);
    sem_t*& sem = role[0] == 'r' ? read : write;
    if (!sem) {
        sem_t* opened = sem_open(semaphoreName(role).c_str(), O_CREAT, 0600, count);
        if (opened != SEM_FAILED) sem = opened;
    }
    return sem;
}

void waitFor(sem_t* sem) {
    while (sem_wait(sem) != 0 && errno == EINTR) {
    }
}

}  // namespace

DatabaseReadLock::DatabaseReadLock() {
    sem_t* read = openSemaphore("read", kDatabaseReaderSlots);
    if (!read) return;
    waitFor(read);
    read_ = read;
}

DatabaseReadLock::~DatabaseReadLock() {
    if (!read_) return;
    sem_post(static_cast<sem_t*>(read_));
}

DatabaseWriteLock::DatabaseWriteLock() {
    sem_t* write = openSemaphore("write", 1);
    if (!write) return;
    waitFor(write);
    write_ = write;
    sem_t* read = openSemaphore("read", kDatabaseReaderSlots);
    if (!read) return;
    for (int i = 0; i < kDatabaseReaderSlots; ++i) waitFor(read);
    read_ = read;
}

DatabaseWriteLock::~DatabaseWriteLock() {
    if (read_) {
        for (int i = 0; i < kDatabaseReaderSlots; ++i) sem_post(static_cast<sem_t*>(read_));
    }
    if (write_) sem_post(static_cast<sem_t*>(write_));
}

}  // namespace cartscope::platform

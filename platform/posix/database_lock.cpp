// flock(2) on a lock file in the data folder: shared for readers, exclusive
// for the writer. The kernel drops a lock when its holder ends, however it
// ends, so a killed reader never keeps the database locked.
#include "core/platform/database_lock.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/platform/data_folder.h"
#include "core/text.h"

namespace cartscope::platform {

namespace {

constexpr char kLockFileName[] = "nds-rom.lock";

// Makes each missing folder of `path` (which ends in a separator), private
// to the user as the data folder should be.
void makeFolders(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        mkdir(path.substr(0, slash).c_str(), 0700);
}

// Opens the lock file (made on first use, with its folder); -1 when there is
// no data folder or the file cannot be had.
int openLockFile() {
    const auto folder = dataFolder();
    if (!folder) return -1;
    const std::string path = toUtf8(*folder) + kLockFileName;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0 && errno == ENOENT) {
        makeFolders(toUtf8(*folder));
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    }
    return fd;
}

// Takes the lock on a new descriptor of the lock file: each holder has its
// own, so holders in one process order each other as holders in two do.
// Gives the descriptor, or -1 when the lock cannot be had.
int takeLock(int operation) {
    const int fd = openLockFile();
    if (fd < 0) return -1;
    while (flock(fd, operation) != 0) {
        if (errno != EINTR) {
            ::close(fd);
            return -1;
        }
    }
    return fd;
}

// Closing the descriptor lets go of the lock.
void dropLock(void* handle) {
    if (handle) ::close(static_cast<int>(reinterpret_cast<std::intptr_t>(handle)) - 1);
}

void* toHandle(int fd) { return fd < 0 ? nullptr : reinterpret_cast<void*>(static_cast<std::intptr_t>(fd) + 1); }

}  // namespace

DatabaseReadLock::DatabaseReadLock() : read_(toHandle(takeLock(LOCK_SH))) {}

DatabaseReadLock::~DatabaseReadLock() { dropLock(read_); }

DatabaseWriteLock::DatabaseWriteLock() : write_(toHandle(takeLock(LOCK_EX))) {}

DatabaseWriteLock::~DatabaseWriteLock() { dropLock(write_); }

}  // namespace cartscope::platform

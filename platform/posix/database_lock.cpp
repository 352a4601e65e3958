// flock(2) on a lock file in the data folder: shared for readers, exclusive
// for the writer. The kernel drops a lock when its holder ends, however it
// ends, so a killed reader never keeps the database locked.
#include "core/platform/database_lock.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "core/platform/data_folder.h"
#include "core/text.h"

namespace cartscope::platform {

namespace {

constexpr char kLockFileName[] = "nds-rom.lock";

// An open descriptor, closed when the object goes.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    explicit operator bool() const { return fd_ >= 0; }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

// Makes each missing folder of `path` (which ends in a separator), private
// to the user as the data folder should be.
void makeFolders(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        mkdir(path.substr(0, slash).c_str(), 0700);
}

// Where the lock file lies; empty when there is no data folder.
std::string lockFilePath() {
    const auto folder = dataFolder();
    return folder ? toUtf8(*folder) + kLockFileName : std::string();
}

// Opens the lock file at `path` (made on first use, with its folder).
Descriptor openLockFile(const std::string& path) {
    Descriptor fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd && errno == ENOENT) {
        makeFolders(path.substr(0, path.rfind('/') + 1));
        fd = Descriptor(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    }
    return fd;
}

// flock, again when a signal cut it short.
bool lockAs(int fd, int operation) {
    while (flock(fd, operation) != 0)
        if (errno != EINTR) return false;
    return true;
}

// Takes the lock on a new descriptor of the lock file: each holder has its
// own, so holders in one process order each other as holders in two do.
// Gives the descriptor, or -1 when the lock cannot be had.
int takeLock(int operation) {
    const std::string path = lockFilePath();
    if (path.empty()) return -1;
    Descriptor fd = openLockFile(path);
    if (!fd || !lockAs(fd.get(), operation)) return -1;
    return fd.release();
}

// Closing the descriptor lets go of the lock.
void dropLock(void* handle) {
    if (handle) ::close(static_cast<int>(reinterpret_cast<std::intptr_t>(handle)) - 1);
}

void* toHandle(int fd) { return fd < 0 ? nullptr : reinterpret_cast<void*>(static_cast<std::intptr_t>(fd) + 1); }

// The readers of this process share one descriptor of the lock file, opened
// by the first of them and kept, so that a reader's lock is one flock call
// and letting go another. Readers that overlap hold one shared lock between
// them: the first takes it, the last lets it go. Writers keep taking their
// own descriptor, which orders them against these readers as against any.
struct SharedReader {
    std::mutex mutex;
    Descriptor file;
    std::string path;  // where `file` was opened
    dev_t device = 0;
    ino_t inode = 0;
    int holders = 0;
};

SharedReader& sharedReader() {
    static SharedReader reader;
    return reader;
}

// Takes a reader's share on the shared descriptor; gives the shared state as
// the reader's handle, or null when the caller is to take its own descriptor
// (no lock file to be had here, or the data folder changed while readers
// still hold the lock in the one before).
void* takeSharedLock() {
    const std::string path = lockFilePath();
    if (path.empty()) return nullptr;
    SharedReader& shared = sharedReader();
    const std::lock_guard<std::mutex> guard(shared.mutex);
    if (shared.holders > 0) {
        if (shared.path != path) return nullptr;
        ++shared.holders;
        return &shared;
    }
    // A few turns at most: each finds the lock file gone again since the last.
    for (int turn = 0; turn < 3; ++turn) {
        if (!shared.file || shared.path != path) {
            shared.file.reset();
            shared.path.clear();
            Descriptor fd = openLockFile(path);
            struct stat st;
            if (!fd || fstat(fd.get(), &st) != 0) return nullptr;
            shared.file = std::move(fd);
            shared.path = path;
            shared.device = st.st_dev;
            shared.inode = st.st_ino;
        }
        if (!lockAs(shared.file.get(), LOCK_SH)) {
            shared.file.reset();
            return nullptr;
        }
        // Writers lock the file that the path names now. The kept one may
        // have been removed since it was opened (with the data folder, say):
        // its lock then orders nobody, and a new one is opened. While the kept
        // descriptor is open, no other file can take over its inode number.
        struct stat st;
        if (stat(path.c_str(), &st) == 0 && st.st_dev == shared.device && st.st_ino == shared.inode) {
            shared.holders = 1;
            return &shared;
        }
        shared.file.reset();
    }
    return nullptr;
}

void dropSharedLock() {
    SharedReader& shared = sharedReader();
    const std::lock_guard<std::mutex> guard(shared.mutex);
    // Closing lets go as well, should unlocking ever fail.
    if (--shared.holders == 0 && !lockAs(shared.file.get(), LOCK_UN)) shared.file.reset();
}

}  // namespace

bool readersKeepDatabaseOpen() { return true; }

DatabaseReadLock::DatabaseReadLock() : read_(takeSharedLock()) {
    if (!read_) read_ = toHandle(takeLock(LOCK_SH));
}

DatabaseReadLock::~DatabaseReadLock() {
    if (read_ == &sharedReader())
        dropSharedLock();
    else
        dropLock(read_);
}

DatabaseWriteLock::DatabaseWriteLock() : write_(toHandle(takeLock(LOCK_EX))) {}

DatabaseWriteLock::~DatabaseWriteLock() { dropLock(write_); }

}  // namespace cartscope::platform

// The core's file access on POSIX systems: paths are UTF-8 on disk, and bytes
// that are not UTF-8 come back as they were (Utf8Errors::Escape).
#include "core/platform/file.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/text.h"

namespace cartscope::platform {

File::~File() { close(); }

File::File(File&& other) noexcept : fd_(other.fd_), lastError_(other.lastError_), identityAtOpen_(other.identityAtOpen_) {
    other.fd_ = -1;
    other.identityAtOpen_.reset();
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.fd_;
        lastError_ = other.lastError_;
        identityAtOpen_ = other.identityAtOpen_;
        other.fd_ = -1;
        other.identityAtOpen_.reset();
    }
    return *this;
}

namespace {

// 0 for a regular file, else the error File::open gives for it.
int kindError(const struct stat& st) {
    if (S_ISREG(st.st_mode)) return 0;
    return S_ISDIR(st.st_mode) ? EISDIR : kNotRegularFile;
}

FileIdentity identityOf(const struct stat& st) {
    FileIdentity identity;
    identity.volume = static_cast<std::uint64_t>(st.st_dev);
    identity.index = static_cast<std::uint64_t>(st.st_ino);
    identity.size = static_cast<std::uint64_t>(st.st_size);
    identity.modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    return identity;
}

}  // namespace

int File::open(const std::u16string& path, Mode mode) {
    close();
    int how = O_RDONLY;
    if (mode == Mode::ReadWrite) how = O_RDWR;
    if (mode == Mode::Create) how = O_WRONLY | O_CREAT | O_TRUNC;
    const std::string name = toUtf8(path, Utf8Errors::Escape);
    // Only regular files are opened. A device is not even opened (that alone
    // may do something); O_NONBLOCK keeps a FIFO put in its place meanwhile
    // from waiting for a writer for ever, and fstat refuses it.
    struct stat st;
    if (stat(name.c_str(), &st) == 0 && kindError(st) != 0) return lastError_ = kindError(st);
    const int fd = ::open(name.c_str(), how | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) return lastError_ = errno;
    int error = fstat(fd, &st) != 0 ? errno : kindError(st);
    // Reading a regular file does not heed O_NONBLOCK, so a file opened for
    // reading keeps it (one system call less for every ROM looked at). A file
    // that is written has it cleared: O_NONBLOCK is the only file status flag
    // open was given (O_CREAT and O_TRUNC act at the open and are not kept),
    // so setting none clears it without asking for the others first.
    if (error == 0 && mode != Mode::Read && fcntl(fd, F_SETFL, 0) != 0) error = errno;
    if (error != 0) {
        ::close(fd);
        return lastError_ = error;
    }
    fd_ = fd;
    identityAtOpen_ = identityOf(st);
    return lastError_ = 0;
}

int File::seek(std::uint64_t offset) {
    if (lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) return lastError_ = errno;
    return 0;
}

int File::seekEnd(std::uint64_t& size) {
    const off_t end = lseek(fd_, 0, SEEK_END);
    if (end < 0) return lastError_ = errno;
    size = static_cast<std::uint64_t>(end);
    return 0;
}

std::size_t File::readAt(std::uint64_t offset, void* buffer, std::size_t count) {
    for (;;) {
        const ssize_t got = ::pread(fd_, buffer, count, static_cast<off_t>(offset));
        if (got >= 0) return static_cast<std::size_t>(got);
        if (errno != EINTR) {
            lastError_ = errno;
            return 0;
        }
    }
}

std::size_t File::read(void* buffer, std::size_t count) {
    for (;;) {
        const ssize_t got = ::read(fd_, buffer, count);
        if (got >= 0) return static_cast<std::size_t>(got);
        if (errno != EINTR) {
            lastError_ = errno;
            return 0;
        }
    }
}

int File::write(const void* buffer, std::size_t count) {
    auto p = static_cast<const char*>(buffer);
    while (count > 0) {
        const ssize_t put = ::write(fd_, p, count);
        if (put < 0) {
            if (errno == EINTR) continue;
            return lastError_ = errno;
        }
        p += put;
        count -= static_cast<std::size_t>(put);
    }
    return 0;
}

int File::resize(std::uint64_t length) {
    if (ftruncate(fd_, static_cast<off_t>(length)) != 0) return lastError_ = errno;
    return 0;
}

int File::identify(FileIdentity& identity) {
    struct stat st;
    if (fstat(fd_, &st) != 0) return lastError_ = errno;
    identity = identityOf(st);
    return 0;
}

int File::close() {
    identityAtOpen_.reset();
    if (fd_ < 0) return 0;
    const int result = ::close(fd_);
    fd_ = -1;
    return result == 0 ? 0 : (lastError_ = errno);
}

int identifyPath(const std::u16string& path, FileIdentity& identity) {
    struct stat st;
    if (stat(toUtf8(path, Utf8Errors::Escape).c_str(), &st) != 0) return errno;
    identity = identityOf(st);
    return 0;
}

bool isPathSeparator(char16_t c) { return c == u'/'; }

int renameNoReplace(const std::u16string& from, const std::u16string& to) {
    const std::string source = toUtf8(from, Utf8Errors::Escape), target = toUtf8(to, Utf8Errors::Escape);
    if (renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // File systems without RENAME_NOREPLACE: look first (racy, but the best they allow).
    struct stat st;
    if (lstat(target.c_str(), &st) == 0) return EEXIST;
    return ::rename(source.c_str(), target.c_str()) == 0 ? 0 : errno;
}

int setReadOnly(const std::u16string& path, bool readOnly) {
    const std::string name = toUtf8(path, Utf8Errors::Escape);
    struct stat st;
    if (stat(name.c_str(), &st) != 0) return errno;
    const mode_t writeBits = S_IWUSR | S_IWGRP | S_IWOTH;
    const mode_t mode = readOnly ? (st.st_mode & ~writeBits) : (st.st_mode | S_IWUSR);
    return chmod(name.c_str(), mode & 07777) == 0 ? 0 : errno;
}

ReadBuffer::ReadBuffer(std::size_t size) : size_(size) {
    void* pages = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (pages == MAP_FAILED) throw std::bad_alloc();
    data_ = static_cast<std::uint8_t*>(pages);
}

ReadBuffer::~ReadBuffer() { munmap(data_, size_); }

}  // namespace cartscope::platform

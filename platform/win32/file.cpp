// The core's file access on Windows, through the C runtime's wide-character
// functions so that failures carry errno values.
#include "core/platform/file.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <new>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include "win/handle.h"
#include "win/text.h"

namespace cartscope::platform {

using win::wideChars;

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

int File::open(const std::u16string& path, Mode mode) {
    close();
    int how = _O_RDONLY;
    if (mode == Mode::ReadWrite) how = _O_RDWR;
    if (mode == Mode::Create) how = _O_WRONLY | _O_CREAT | _O_TRUNC;
    const errno_t error = _wsopen_s(&fd_, wideChars(path), how | _O_BINARY | _O_NOINHERIT, _SH_DENYNO, _S_IREAD | _S_IWRITE);
    if (error != 0) {
        fd_ = -1;
        return lastError_ = error;
    }
    return lastError_ = 0;
}

int File::seek(std::uint64_t offset) {
    if (_lseeki64(fd_, static_cast<__int64>(offset), SEEK_SET) < 0) return lastError_ = errno;
    return 0;
}

int File::seekEnd(std::uint64_t& size) {
    const __int64 end = _lseeki64(fd_, 0, SEEK_END);
    if (end < 0) return lastError_ = errno;
    size = static_cast<std::uint64_t>(end);
    return 0;
}

std::size_t File::readAt(std::uint64_t offset, void* buffer, std::size_t count) {
    return seek(offset) == 0 ? read(buffer, count) : 0;
}

std::size_t File::read(void* buffer, std::size_t count) {
    // _read takes an unsigned int count; larger reads are simply shorter.
    const unsigned chunk = count > 0x40000000u ? 0x40000000u : static_cast<unsigned>(count);
    const int got = _read(fd_, buffer, chunk);
    if (got < 0) {
        lastError_ = errno;
        return 0;
    }
    return static_cast<std::size_t>(got);
}

int File::write(const void* buffer, std::size_t count) {
    auto p = static_cast<const char*>(buffer);
    while (count > 0) {
        const unsigned chunk = count > 0x40000000u ? 0x40000000u : static_cast<unsigned>(count);
        const int put = _write(fd_, p, chunk);
        if (put < 0) return lastError_ = errno;
        if (put == 0) return lastError_ = ENOSPC;
        p += put;
        count -= static_cast<std::size_t>(put);
    }
    return 0;
}

int File::resize(std::uint64_t length) {
    const errno_t error = _chsize_s(fd_, static_cast<__int64>(length));
    return error == 0 ? 0 : (lastError_ = error);
}

namespace {

// The identity of an open handle; false when the system cannot say.
bool identityOf(HANDLE handle, FileIdentity& identity) {
    BY_HANDLE_FILE_INFORMATION information;
    if (handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(handle, &information)) return false;
    identity.volume = information.dwVolumeSerialNumber;
    identity.index = static_cast<std::uint64_t>(information.nFileIndexHigh) << 32 | information.nFileIndexLow;
    identity.size = static_cast<std::uint64_t>(information.nFileSizeHigh) << 32 | information.nFileSizeLow;
    identity.modified = static_cast<std::int64_t>(static_cast<std::uint64_t>(information.ftLastWriteTime.dwHighDateTime) << 32 |
                                                  information.ftLastWriteTime.dwLowDateTime);
    return true;
}

}  // namespace

int File::identify(FileIdentity& identity) {
    if (!identityOf(reinterpret_cast<HANDLE>(_get_osfhandle(fd_)), identity)) return lastError_ = EIO;
    return 0;
}

int File::close() {
    identityAtOpen_.reset();
    if (fd_ < 0) return 0;
    const int result = _close(fd_);
    fd_ = -1;
    return result == 0 ? 0 : (lastError_ = errno);
}

int identifyPath(const std::u16string& path, FileIdentity& identity) {
    // Opened for its attributes only, sharing everything: no reader, writer
    // or renamer is kept waiting meanwhile.
    const win::Handle file(CreateFileW(wideChars(path), FILE_READ_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ENOENT : EACCES;
    }
    return identityOf(file.get(), identity) ? 0 : EIO;
}

bool isPathSeparator(char16_t c) { return c == u'\\' || c == u'/' || c == u':'; }

int renameNoReplace(const std::u16string& from, const std::u16string& to) {
    // _wrename never replaces an existing file.
    return _wrename(wideChars(from), wideChars(to)) == 0 ? 0 : errno;
}

int setReadOnly(const std::u16string& path, bool readOnly) {
    return _wchmod(wideChars(path), readOnly ? _S_IREAD : (_S_IREAD | _S_IWRITE)) == 0 ? 0 : errno;
}

// Windows: pages of their own, made as they are first written.
ReadBuffer::ReadBuffer(std::size_t size) : size_(size) {
    data_ = static_cast<std::uint8_t*>(VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (!data_) throw std::bad_alloc();
}

ReadBuffer::~ReadBuffer() { VirtualFree(data_, 0, MEM_RELEASE); }

}  // namespace cartscope::platform

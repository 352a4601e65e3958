// Binary file access for the core. One implementation per platform
// (platform/posix, platform/win32); all failures are reported as errno values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace cartscope::platform {

// File::open takes regular files only: on POSIX systems a FIFO, a device or
// a socket gives this error (a folder EISDIR). Above every errno value.
constexpr int kNotRegularFile = 0x4100;

// What tells an open file from every other, and one state of it from the
// next: its volume and number there (device and inode, or volume serial and
// file index), its length and the time of its last write.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // in the platform's finest unit

    bool operator==(const FileIdentity& other) const {
        return volume == other.volume && index == other.index && size == other.size && modified == other.modified;
    }
    bool operator!=(const FileIdentity& other) const { return !(*this == other); }
};

class File {
public:
    enum class Mode {
        Read,       // existing file, reading only ("rb")
        ReadWrite,  // existing file, reading and writing ("r+b")
        Create,     // new or truncated file, writing ("wb")
    };

    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens `path`; returns 0 or the errno value of the failure.
    int open(const std::u16string& path, Mode mode);
    bool isOpen() const { return fd_ >= 0; }

    // Moves to an absolute offset; returns 0 or an errno value.
    int seek(std::uint64_t offset);
    // Moves to the end; gives the length in `size`. Returns 0 or an errno value.
    int seekEnd(std::uint64_t& size);
    // Reads up to `count` bytes at `offset`, wherever the current position is
    // (which may move). Gives the number of bytes read; 0 at the end or on an
    // error (see lastError).
    std::size_t readAt(std::uint64_t offset, void* buffer, std::size_t count);
    // Reads up to `count` bytes at the current position. Gives the number of
    // bytes read; 0 at the end of the file or on an error (see lastError).
    std::size_t read(void* buffer, std::size_t count);
    // Writes all `count` bytes; returns 0 or an errno value.
    int write(const void* buffer, std::size_t count);
    // Sets the file's length; a longer file is filled with zero bytes.
    int resize(std::uint64_t length);
    // The identity of the open file; returns 0 or an errno value.
    int identify(FileIdentity& identity);
    // The identity the file had when it was opened, where open learnt it on
    // the way (POSIX systems: the check that it is a regular file); else none.
    const std::optional<FileIdentity>& identityAtOpen() const { return identityAtOpen_; }
    // Closes the file; returns 0 or the errno value of the close.
    int close();

    int lastError() const { return lastError_; }

private:
    int fd_ = -1;
    int lastError_ = 0;
    std::optional<FileIdentity> identityAtOpen_;
};

// Memory that a file is read into, a large piece at a time: `size` bytes,
// not cleared, on pages of its own. On POSIX systems the pages are put in
// place when the buffer is made, in one go, rather than one page fault at a
// time as the first reads fill them (64 faults for the CRC's 256 KiB, a
// tenth of the time of a process started for one small file).
class ReadBuffer {
public:
    explicit ReadBuffer(std::size_t size);  // std::bad_alloc when there is no memory
    ~ReadBuffer();
    ReadBuffer(const ReadBuffer&) = delete;
    ReadBuffer& operator=(const ReadBuffer&) = delete;

    std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }

private:
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

// The identity of the file that `path` names now, found without reading it;
// returns 0 or an errno value.
int identifyPath(const std::u16string& path, FileIdentity& identity);

// Whether `c` separates folders in a path on this platform.
bool isPathSeparator(char16_t c);

// Renames a file, refusing (EEXIST) when `to` exists already. Returns 0 or
// an errno value.
int renameNoReplace(const std::u16string& from, const std::u16string& to);

// Makes a file read-only or writable again (used by tools and tests).
int setReadOnly(const std::u16string& path, bool readOnly);

}  // namespace cartscope::platform

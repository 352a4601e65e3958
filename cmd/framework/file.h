// Files as the updater writes them: a disk file and a file in memory behind
// one interface. Failed writes throw FileException, as the framework's file
// class does, so a caller can catch them in one place.
#pragma once

#include <windows.h>

#include <cstddef>
#include <stdexcept>
#include <string>

#include "win/handle.h"

namespace cartscope::ui {

class FileException : public std::runtime_error {
public:
    // `error` is the system's error number (GetLastError), or
    // ERROR_NOT_ENOUGH_MEMORY when a file in memory cannot grow.
    FileException(DWORD error, const std::wstring& path);
    DWORD error() const { return m_error; }
    // The framework's cause number for the error: 2 file not found, 3 bad
    // path, 5 access denied, 11 sharing violation, 13 disk full, ... and 1 for
    // any other error.
    int cause() const { return causeOf(m_error); }
    static int causeOf(DWORD error);
    const std::wstring& path() const { return m_path; }

private:
    DWORD m_error;
    std::wstring m_path;
};

class File {
public:
    enum OpenFlags : unsigned {
        modeRead = 0x0,
        modeWrite = 0x1,
        modeReadWrite = 0x2,
        modeCreate = 0x1000,     // create, or truncate an existing file
        modeCreateNew = 0x2000,  // create; fails when the file exists already
    };

    File() = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    virtual ~File();

    // Opens a disk file; false (and the error number in `error`, when given)
    // when it cannot be opened. Other programs may read it meanwhile.
    bool open(const std::wstring& path, unsigned flags, DWORD* error = nullptr);
    bool isOpen() const { return static_cast<bool>(m_handle); }
    const std::wstring& path() const { return m_path; }

    // Writes all `count` bytes at the current position or throws.
    virtual void write(const void* data, std::size_t count);
    // The file's length in bytes; throws when it cannot be read.
    virtual ULONGLONG length() const;
    // Closes the file (nothing when it is not open).
    virtual void close();

private:
    win::Handle m_handle;
    std::wstring m_path;
};

// A file in memory that grows in steps of `growBy` bytes. Its block comes from
// malloc; detach() hands it over to the caller, who frees it with free().
class MemFile : public File {
public:
    explicit MemFile(std::size_t growBy = 1024) : m_growBy(growBy == 0 ? 1 : growBy) {}
    ~MemFile() override;

    void write(const void* data, std::size_t count) override;
    ULONGLONG length() const override { return m_length; }
    void close() override;

    // The block with the written bytes (null when nothing was written); the
    // file is empty afterwards.
    BYTE* detach();

private:
    std::size_t m_growBy;
    BYTE* m_block = nullptr;
    std::size_t m_length = 0;
    std::size_t m_capacity = 0;
};

}  // namespace cartscope::ui

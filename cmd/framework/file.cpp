#include "cmd/framework/file.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace cartscope::ui {

namespace {

std::string describe(DWORD error, const std::wstring& path) {
    std::string narrow;
    for (wchar_t c : path) narrow += c < 0x80 ? static_cast<char>(c) : '?';
    return "file error " + std::to_string(error) + (narrow.empty() ? "" : " (" + narrow + ")");
}

}  // namespace

FileException::FileException(DWORD error, const std::wstring& path)
    : std::runtime_error(describe(error, path)), m_error(error), m_path(path) {}

int FileException::causeOf(DWORD error) {
    switch (error) {
        case NO_ERROR:
            return 0;
        case ERROR_FILE_NOT_FOUND:
            return 2;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_INVALID_DRIVE:
            return 3;
        case ERROR_TOO_MANY_OPEN_FILES:
            return 4;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return 5;
        case ERROR_INVALID_HANDLE:
            return 6;
        case ERROR_CURRENT_DIRECTORY:
            return 7;
        case ERROR_CANNOT_MAKE:
            return 8;
        case ERROR_SEEK:
        case ERROR_NEGATIVE_SEEK:
            return 9;
        case ERROR_SHARING_VIOLATION:
            return 11;
        case ERROR_LOCK_VIOLATION:
            return 12;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return 13;
        case ERROR_HANDLE_EOF:
            return 14;
        default:
            return 1;
    }
}

File::~File() = default;

bool File::open(const std::wstring& path, unsigned flags, DWORD* error) {
    close();
    const DWORD access = (flags & modeReadWrite) ? GENERIC_READ | GENERIC_WRITE
                         : (flags & modeWrite)   ? GENERIC_WRITE
                                                 : GENERIC_READ;
    const DWORD disposition = (flags & modeCreateNew) ? CREATE_NEW : (flags & modeCreate) ? CREATE_ALWAYS : OPEN_EXISTING;
    m_handle.reset(CreateFileW(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!isOpen()) {
        if (error) *error = GetLastError();
        return false;
    }
    m_path = path;
    return true;
}

void File::write(const void* data, std::size_t count) {
    const auto* bytes = static_cast<const BYTE*>(data);
    while (count > 0) {
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
        DWORD written = 0;
        if (!isOpen()) throw FileException(ERROR_INVALID_HANDLE, m_path);
        if (!WriteFile(m_handle.get(), bytes, piece, &written, nullptr)) throw FileException(GetLastError(), m_path);
        if (written == 0) throw FileException(ERROR_DISK_FULL, m_path);
        bytes += written;
        count -= written;
    }
}

ULONGLONG File::length() const {
    LARGE_INTEGER size;
    if (!isOpen()) throw FileException(ERROR_INVALID_HANDLE, m_path);
    if (!GetFileSizeEx(m_handle.get(), &size)) throw FileException(GetLastError(), m_path);
    return static_cast<ULONGLONG>(size.QuadPart);
}

void File::close() { m_handle.reset(); }

MemFile::~MemFile() { std::free(m_block); }

void MemFile::write(const void* data, std::size_t count) {
    if (count == 0) return;
    if (count > std::numeric_limits<std::size_t>::max() - m_length) throw FileException(ERROR_NOT_ENOUGH_MEMORY, L"");
    const std::size_t needed = m_length + count;
    if (needed > m_capacity) {
        // Grow to the next multiple of the step that holds the new bytes.
        const std::size_t steps = (needed + m_growBy - 1) / m_growBy;
        if (steps > std::numeric_limits<std::size_t>::max() / m_growBy) throw FileException(ERROR_NOT_ENOUGH_MEMORY, L"");
        const std::size_t capacity = steps * m_growBy;
        auto* grown = static_cast<BYTE*>(std::realloc(m_block, capacity));
        if (!grown) throw FileException(ERROR_NOT_ENOUGH_MEMORY, L"");
        m_block = grown;
        m_capacity = capacity;
    }
    std::memcpy(m_block + m_length, data, count);
    m_length = needed;
}

void MemFile::close() {
    std::free(m_block);
    m_block = nullptr;
    m_length = m_capacity = 0;
}

BYTE* MemFile::detach() {
    BYTE* block = m_block;
    m_block = nullptr;
    m_length = m_capacity = 0;
    return block;
}

}  // namespace cartscope::ui

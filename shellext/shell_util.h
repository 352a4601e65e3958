// Small helpers of the library's COM code.
#pragma once

#include <windows.h>

#include <memory>
#include <new>

namespace cartscope::shell {

// Runs a COM method's body: no exception may leave it.
template <class Body>
inline HRESULT guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

// Owns a kernel handle (null or INVALID_HANDLE_VALUE: none) and closes it.
struct HandleCloser {
    void operator()(HANDLE handle) const {
        if (handle && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

// The Windows version as major * 256 + minor, asked once per process.
inline unsigned windowsVersion() {
    static const unsigned version = [] {
        OSVERSIONINFOW info = {};
        info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        if (!GetVersionExW(&info)) return 0u;
#pragma GCC diagnostic pop
        return static_cast<unsigned>(info.dwMajorVersion * 256 + info.dwMinorVersion);
    }();
    return version;
}

}  // namespace cartscope::shell

// Error codes of COM methods and exported functions: the thread's last error
// as an HRESULT, and bodies from which no exception may leave.
#pragma once

#include <windows.h>

#include <new>

namespace cartscope::win {

// HRESULT_FROM_WIN32 of the calling thread's last error; E_FAIL when the
// failure left no error code (ERROR_SUCCESS).
HRESULT lastErrorResult() noexcept;

// The result of `body` (which gives an HRESULT); an exception becomes an
// error code instead of leaving: E_OUTOFMEMORY for std::bad_alloc,
// E_UNEXPECTED for anything else.
template <class Body>
HRESULT guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

}  // namespace cartscope::win

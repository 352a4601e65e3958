#include "win/errors.h"

namespace cartscope::win {

HRESULT lastErrorResult() noexcept {
    const DWORD error = GetLastError();
    return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

}  // namespace cartscope::win

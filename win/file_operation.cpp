#include "win/file_operation.h"

#include <shellapi.h>

namespace cartscope::win {

int moveFiles(HWND owner, std::wstring from, std::wstring to) {
    from += L'\0';
    to += L'\0';
    SHFILEOPSTRUCTW operation = {};
    operation.hwnd = owner;
    operation.wFunc = FO_MOVE;
    operation.pFrom = from.c_str();
    operation.pTo = to.c_str();
    operation.fFlags = FOF_MULTIDESTFILES;
    return SHFileOperationW(&operation);
}

}  // namespace cartscope::win

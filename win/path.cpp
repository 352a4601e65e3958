#include "win/path.h"

namespace cartscope::win {

namespace {

constexpr wchar_t kSeparators[] = L"\\/";

}  // namespace

std::wstring folderOf(std::wstring_view path) {
    const std::size_t separator = path.find_last_of(kSeparators);
    return separator == std::wstring_view::npos ? std::wstring() : std::wstring(path.substr(0, separator));
}

std::wstring besidePath(std::wstring_view path, std::wstring_view name) {
    const std::size_t separator = path.find_last_of(kSeparators);
    std::wstring result(separator == std::wstring_view::npos ? std::wstring_view() : path.substr(0, separator + 1));
    result += name;
    return result;
}

}  // namespace cartscope::win

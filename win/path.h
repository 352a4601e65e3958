// Folders of paths.
#pragma once

#include <string>
#include <string_view>

namespace cartscope::win {

// The folder of `path`: what comes before its last separator ('\' or '/');
// empty when it has none ("C:\a\b.exe" gives "C:\a", "C:\b.exe" gives "C:").
std::wstring folderOf(std::wstring_view path);

// The file `name` in the folder of `path` ("C:\a\b.exe" and "c.dll" give
// "C:\a\c.dll"); `name` alone when the path has no folder.
std::wstring besidePath(std::wstring_view path, std::wstring_view name);

}  // namespace cartscope::win

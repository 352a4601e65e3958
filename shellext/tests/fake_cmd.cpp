// Stands in for "Cartscope CMD.exe" beside the library in the menu tests: it
// records the command line it was given and the content of its path file.
//   CARTSCOPE_FAKE_CMD_LOG=FOLDER: writes FOLDER\cmdline (UTF-16LE), FOLDER\pathfile
//   (a copy, when one was named) and last FOLDER\done.
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    wchar_t folder[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(L"CARTSCOPE_FAKE_CMD_LOG", folder, MAX_PATH)) return 1;
    const std::filesystem::path log(folder);
    const std::wstring line = GetCommandLineW();
    std::ofstream(log / "cmdline", std::ios::binary)
        .write(reinterpret_cast<const char*>(line.data()), static_cast<std::streamsize>(line.size() * sizeof(wchar_t)));
    const std::wstring::size_type at = line.find(L" /pathfile:\"");
    if (at != std::wstring::npos) {
        const std::wstring::size_type start = at + 12, end = line.find(L'"', start);
        const std::wstring name = line.substr(start, end - start);
        std::ifstream in(std::filesystem::path(name), std::ios::binary);
        std::ofstream(log / "pathfile", std::ios::binary) << in.rdbuf();
        in.close();
        DeleteFileW(name.c_str());
    }
    std::ofstream(log / "done") << "done";
    return 0;
}

// Keeps a library loaded, as the Explorer keeps Cartscope.dll, while the
// installer's tests uninstall it:
//   hold_library LIBRARY READY_FILE RELEASE_FILE
// Loads LIBRARY, creates READY_FILE, and holds the library until RELEASE_FILE
// exists (at most ten minutes, so that a failed test leaves no process behind).
// Exit status 0 when it held the library, 1 when it could not load it.
#include <windows.h>

#include <cstdio>

namespace {

struct Library {
    explicit Library(const wchar_t* path) : handle(LoadLibraryExW(path, nullptr, 0)) {}
    ~Library() {
        if (handle) FreeLibrary(handle);
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    HMODULE handle;
};

bool exists(const wchar_t* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: hold_library LIBRARY READY_FILE RELEASE_FILE\n");
        return 2;
    }
    const Library library(argv[1]);
    if (!library.handle) {
        std::fprintf(stderr, "hold_library: cannot load %ls (error %lu)\n", argv[1], GetLastError());
        return 1;
    }
    const HANDLE ready = CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready == INVALID_HANDLE_VALUE) return 1;
    CloseHandle(ready);
    for (int waited = 0; waited < 6000 && !exists(argv[3]); ++waited) Sleep(100);
    return 0;
}

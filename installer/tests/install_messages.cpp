// Installs a package with the installer's basic user interface and prints the
// text of every message box it shows, one a line (UTF-8), answering each with
// OK, as a user would:
//   install_messages PACKAGE [PROPERTY=VALUE...]
// A refusal by a launch condition is such a message box. The exit status is
// the installer's result (0, 1603, ...), or 1 when it does not end within ten
// minutes. Needs a desktop (under Wine: an X display).
#include <windows.h>
#include <msi.h>

#include <cstdio>
#include <string>

namespace {

struct Install {
    std::wstring package;
    std::wstring properties;
    UINT result = ERROR_INSTALL_FAILURE;
};

DWORD WINAPI runInstall(void* parameter) {
    auto* install = static_cast<Install*>(parameter);
    MsiSetInternalUI(INSTALLUILEVEL_BASIC, nullptr);
    install->result = MsiInstallProductW(install->package.c_str(), install->properties.c_str());
    return 0;
}

struct Handle {
    explicit Handle(HANDLE value) : value(value) {}
    ~Handle() {
        if (value) CloseHandle(value);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE value;
};

// The first visible message box (dialog class "#32770") of this process.
BOOL CALLBACK findBox(HWND window, LPARAM found) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t name[16] = {};
    if (process != GetCurrentProcessId() || !IsWindowVisible(window) || !GetClassNameW(window, name, 16) ||
        std::wstring(name) != L"#32770")
        return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

void print(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, bytes.data(), size, nullptr, nullptr);
    std::printf("%s\n", bytes.c_str());
    std::fflush(stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: install_messages PACKAGE [PROPERTY=VALUE...]\n");
        return 2;
    }
    Install install;
    install.package = argv[1];
    for (int i = 2; i < argc; ++i) install.properties += std::wstring(i > 2 ? L" " : L"") + argv[i];
    const Handle worker(CreateThread(nullptr, 0, runInstall, &install, 0, nullptr));
    if (!worker.value) return 1;
    // Message boxes are answered until the installation ends.
    for (int round = 0; round < 6000; ++round) {
        if (WaitForSingleObject(worker.value, 100) == WAIT_OBJECT_0) return static_cast<int>(install.result);
        HWND box = nullptr;
        EnumWindows(findBox, reinterpret_cast<LPARAM>(&box));
        if (!box) continue;
        wchar_t text[1024] = {};
        GetDlgItemTextW(box, 0xFFFF, text, 1024);
        print(text);
        const HWND ok = GetDlgItem(box, IDOK);
        if (ok && IsWindowEnabled(ok))
            PostMessageW(ok, BM_CLICK, 0, 0);
        else
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        // The box goes before the next look.
        for (int wait = 0; wait < 100 && IsWindow(box) && IsWindowVisible(box); ++wait) Sleep(50);
    }
    std::fprintf(stderr, "install_messages: the installation did not end\n");
    return 1;
}

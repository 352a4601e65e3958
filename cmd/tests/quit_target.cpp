// A process for the clean-up's tests to end, in one of four manners:
//   quit_target window     a top-level window; ends on WM_QUIT
//   quit_target thread     no window, a message queue; ends on WM_QUIT
//   quit_target stubborn   a top-level window; ignores WM_QUIT and everything else
//   quit_target record     writes its command line to %CARTSCOPE_RECORD% and ends
// ("/command:cleanup" records too: the clean-up instance's command line).
#include <windows.h>

#include <cwchar>
#include <fstream>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int) {
    if (std::wcsstr(commandLine, L"record") || std::wcsstr(commandLine, L"/command:cleanup")) {
        wchar_t path[MAX_PATH] = {};
        if (GetEnvironmentVariableW(L"CARTSCOPE_RECORD", path, MAX_PATH)) {
            const wchar_t* line = GetCommandLineW();
            std::ofstream(path, std::ios::binary)
                .write(reinterpret_cast<const char*>(line), static_cast<std::streamsize>(std::wcslen(line) * 2));
        }
        return 0;
    }
    const bool stubborn = std::wcsstr(commandLine, L"stubborn") != nullptr;
    if (std::wcsstr(commandLine, L"window") || stubborn) {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = L"QuitTarget";
        RegisterClassW(&windowClass);
        CreateWindowW(L"QuitTarget", L"quit target", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr, instance, nullptr);
    }
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue exists from here on
    for (;;) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0 && !stubborn) return 0;
        if (got == -1) return 1;
        if (got > 0) DispatchMessageW(&message);
    }
}

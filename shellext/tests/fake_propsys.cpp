// A stand-in for the property system's propsys.dll, for the registration
// tests. Copied as propsys.dll into the folder of the program under test, it
// is loaded in place of the system's and records each schema call as a line
// "register PATH present|absent" or "unregister PATH present|absent" (whether
// the file exists at the time of the call), UTF-8, in the file named by
// CARTSCOPE_FAKE_PROPSYS_LOG. Its answers come from the environment too:
//   CARTSCOPE_FAKE_PROPSYS_REGISTER_RESULT, CARTSCOPE_FAKE_PROPSYS_UNREGISTER_RESULT
//     an HRESULT in hexadecimal (default S_OK);
//   CARTSCOPE_FAKE_PROPSYS_REFUSE_LOAD
//     when set, loading fails, as when the system has no property system.
#include <windows.h>

#include <cwchar>
#include <string>

#include "win/handle.h"

namespace {

std::wstring variable(const wchar_t* name) {
    wchar_t value[1024];
    const DWORD length = GetEnvironmentVariableW(name, value, 1024);
    return length > 0 && length < 1024 ? std::wstring(value, length) : std::wstring();
}

HRESULT configuredResult(const wchar_t* name) {
    const std::wstring text = variable(name);
    return text.empty() ? S_OK : static_cast<HRESULT>(std::wcstoul(text.c_str(), nullptr, 16));
}

void record(const wchar_t* call, PCWSTR path) {
    const std::wstring logPath = variable(L"CARTSCOPE_FAKE_PROPSYS_LOG");
    if (logPath.empty()) return;
    const bool present = path && GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
    const std::wstring line =
        std::wstring(call) + L" " + (path ? path : L"(null)") + (present ? L" present" : L" absent") + L"\n";
    char bytes[4096];
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), bytes, sizeof bytes, nullptr, nullptr);
    const cartscope::win::Handle log(
        CreateFileW(logPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (log && size > 0) WriteFile(log.get(), bytes, size, &written, nullptr);
}

HRESULT answer(const wchar_t* call, PCWSTR path, const wchar_t* resultVariable) noexcept {
    try {
        record(call, path);
        return configuredResult(resultVariable);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH && GetEnvironmentVariableW(L"CARTSCOPE_FAKE_PROPSYS_REFUSE_LOAD", nullptr, 0) > 0)
        return FALSE;
    return TRUE;
}

extern "C" HRESULT WINAPI PSRegisterPropertySchema(PCWSTR path) {
    return answer(L"register", path, L"CARTSCOPE_FAKE_PROPSYS_REGISTER_RESULT");
}

extern "C" HRESULT WINAPI PSUnregisterPropertySchema(PCWSTR path) {
    return answer(L"unregister", path, L"CARTSCOPE_FAKE_PROPSYS_UNREGISTER_RESULT");
}

#include "module.h"

#include <atomic>
#include <mutex>
#include <new>

#include "file_icon_ext.h"
#include "guids.h"
#include "shell_util.h"

namespace cartscope::shell {

namespace {

HMODULE g_module = nullptr;
std::atomic<long> g_locks{0};
bool g_perUser = false;

class ClassFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references_); }
    ULONG STDMETHODCALLTYPE Release() override {
        // The module keeps one reference for as long as it is loaded.
        return static_cast<ULONG>(--references_);
    }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return CFileIconExt::create(iid, object);
    }

    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) lockModule();
        else unlockModule();
        return S_OK;
    }

private:
    std::atomic<long> references_{1};
};

}  // namespace

HMODULE moduleHandle() { return g_module; }
void setModuleHandle(HMODULE module) { g_module = module; }

std::wstring modulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(g_module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() + MAX_PATH);
    }
}

std::wstring commandProgramPath() {
    const std::wstring library = modulePath();
    return library.substr(0, library.find_last_of(L'\\') + 1) + L"Cartscope CMD.exe";
}

DWORD startCommandProgram(Command command, const std::optional<std::u16string>& pathFile) {
    const std::u16string line = buildCommandLine(command, pathFile);
    std::wstring commandLine(line.begin(), line.end());
    const std::wstring program = commandProgramPath();
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        const DWORD error = GetLastError();
        return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
    }
    const UniqueHandle thread(process.hThread), started(process.hProcess);
    return ERROR_SUCCESS;
}

bool& perUserRegistration() { return g_perUser; }

void lockModule() { ++g_locks; }
void unlockModule() { --g_locks; }
long moduleLockCount() { return g_locks.load(); }

HRESULT getClassObject(REFCLSID clsid, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualCLSID(clsid, kClsidFileIconExt)) return CLASS_E_CLASSNOTAVAILABLE;
    static std::mutex mutex;
    static ClassFactory* factory = nullptr;
    {
        std::lock_guard<std::mutex> hold(mutex);
        if (!factory) {
            factory = new (std::nothrow) ClassFactory;
            if (!factory) return E_OUTOFMEMORY;
        }
    }
    return factory->QueryInterface(iid, object);
}

}  // namespace cartscope::shell

#include "com_support.h"

#include <ctime>

#include "guids.h"

namespace cartscope::shell::testing {

std::wstring programFolder() {
    wchar_t path[MAX_PATH * 4] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

namespace {
const wchar_t kSettingsKey[] = L"SOFTWARE\\Velmora\\Cartscope";
}

void markUpdateChecked() {
    const ULONGLONG now = static_cast<ULONGLONG>(std::time(nullptr));
    RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"last_update", REG_QWORD, &now, sizeof now);
}

void clearUpdateState() {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"last_update");
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"settings");
}

const Library& library() {
    static const Library loaded = [] {
        Library l;
        l.path = programFolder() + L"Cartscope.dll";
        l.module = LoadLibraryW(l.path.c_str());
        if (l.module) {
            l.getClassObject = reinterpret_cast<decltype(l.getClassObject)>(
                reinterpret_cast<void*>(GetProcAddress(l.module, "DllGetClassObject")));
            l.canUnloadNow = reinterpret_cast<decltype(l.canUnloadNow)>(
                reinterpret_cast<void*>(GetProcAddress(l.module, "DllCanUnloadNow")));
        }
        return l;
    }();
    return loaded;
}

HRESULT createObject(REFIID iid, void** object) {
    const Library& l = library();
    if (!l.getClassObject) return E_FAIL;
    ComPtr<IClassFactory> factory;
    const HRESULT result = l.getClassObject(kClsidFileIconExt, IID_IClassFactory, factory.putVoid());
    if (FAILED(result)) return result;
    return factory->CreateInstance(nullptr, iid, object);
}

}  // namespace cartscope::shell::testing

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

namespace {

Library load(const std::wstring& path) {
    Library l;
    l.path = path;
    l.module = LoadLibraryW(l.path.c_str());
    if (l.module) {
        l.getClassObject = reinterpret_cast<decltype(l.getClassObject)>(
            reinterpret_cast<void*>(GetProcAddress(l.module, "DllGetClassObject")));
        l.canUnloadNow = reinterpret_cast<decltype(l.canUnloadNow)>(
            reinterpret_cast<void*>(GetProcAddress(l.module, "DllCanUnloadNow")));
    }
    return l;
}

HRESULT createObjectOf(const Library& l, REFIID iid, void** object) {
    if (!l.getClassObject) return E_FAIL;
    ComPtr<IClassFactory> factory;
    const HRESULT result = l.getClassObject(kClsidFileIconExt, IID_IClassFactory, factory.putVoid());
    if (FAILED(result)) return result;
    return factory->CreateInstance(nullptr, iid, object);
}

}  // namespace

const Library& library() {
    static const Library loaded = load(programFolder() + L"Cartscope.dll");
    return loaded;
}

HRESULT createObject(REFIID iid, void** object) { return createObjectOf(library(), iid, object); }

LibraryCopy::LibraryCopy(const std::wstring& folder) {
    const std::wstring path = folder + L"Cartscope.dll";
    if (CopyFileW((programFolder() + L"Cartscope.dll").c_str(), path.c_str(), FALSE)) library_ = load(path);
}

LibraryCopy::~LibraryCopy() {
    if (library_.module) FreeLibrary(library_.module);
}

HRESULT LibraryCopy::createObject(REFIID iid, void** object) const { return createObjectOf(library_, iid, object); }

}  // namespace cartscope::shell::testing

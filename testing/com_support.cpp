#include "testing/com_support.h"

#include <ctime>

#include "shellext/guids.h"
#include "win/module_path.h"

namespace cartscope::shell::testing {

std::wstring programFolder() { return win::besideModule(nullptr, L""); }

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

// The entry points of a loaded library.
Library entryPoints(HMODULE module, const std::wstring& path) {
    Library l;
    l.path = path;
    l.module = module;
    if (l.module) {
        l.getClassObject = win::procedure<decltype(l.getClassObject)>(l.module, "DllGetClassObject");
        l.canUnloadNow = win::procedure<decltype(l.canUnloadNow)>(l.module, "DllCanUnloadNow");
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
    static const Library loaded = [] {
        const std::wstring path = programFolder() + L"Cartscope.dll";
        return entryPoints(win::Library(path.c_str()).release(), path);
    }();
    return loaded;
}

HRESULT createObject(REFIID iid, void** object) { return createObjectOf(library(), iid, object); }

LibraryCopy::LibraryCopy(const std::wstring& folder) {
    const std::wstring path = folder + L"Cartscope.dll";
    if (CopyFileW((programFolder() + L"Cartscope.dll").c_str(), path.c_str(), FALSE)) {
        owner_ = win::Library(path.c_str());
        library_ = entryPoints(owner_.get(), path);
    }
}

LibraryCopy::~LibraryCopy() = default;

HRESULT LibraryCopy::createObject(REFIID iid, void** object) const { return createObjectOf(library_, iid, object); }

}  // namespace cartscope::shell::testing

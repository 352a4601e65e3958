// Entry points of Cartscope.dll and the classes it serves. Registration's
// entry points are in registration.cpp.
#include <windows.h>

#include <iterator>

#include "shellext/file_icon_ext.h"
#include "shellext/guids.h"
#include "shellext/module.h"
#include "win/class_factory.h"

namespace {

using namespace cartscope;

// The class identifiers the library serves, and what makes their objects.
const win::ClassEntry kClasses[] = {
    {&shell::kClsidFileIconExt, &win::classObject<&shell::CFileIconExt::create>},
};

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        shell::setModuleHandle(instance);
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" HRESULT __stdcall DllCanUnloadNow() { return win::moduleLockCount() == 0 ? S_OK : S_FALSE; }

extern "C" HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    return win::getClassObject(std::begin(kClasses), std::end(kClasses), clsid, iid, object);
}

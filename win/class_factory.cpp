#include "win/class_factory.h"

namespace cartscope::win {

HRESULT getClassObject(const ClassEntry* begin, const ClassEntry* end, REFCLSID clsid, REFIID iid, void** object) noexcept {
    if (!object) return E_POINTER;
    *object = nullptr;
    for (const ClassEntry* entry = begin; entry != end; ++entry) {
        if (!IsEqualCLSID(clsid, *entry->clsid)) continue;
        return guarded([&] { return entry->classObject()->QueryInterface(iid, object); });
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

}  // namespace cartscope::win

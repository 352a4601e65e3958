// Class objects of the module: one factory per creator function, found by
// class identifier in a table (DllGetClassObject).
#pragma once

#include <unknwn.h>

#include <atomic>

#include "win/com_object.h"

namespace cartscope::win {

// Makes an object of a class and asks it for an interface.
using Creator = HRESULT (*)(REFIID iid, void** object);

// The class object whose CreateInstance calls Create. There is one per
// creator, made on first request and kept while the module is loaded: its
// references do not hold the module, LockServer does.
template <Creator Create>
class ClassFactory final : public IClassFactory {
public:
    static ClassFactory& instance() {
        static ClassFactory factory;
        return factory;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        return queryInterface(this, interfaceTable(kInterfaces), iid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return Create(iid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock)
            lockModule();
        else
            unlockModule();
        return S_OK;
    }

private:
    ClassFactory() = default;

    static constexpr InterfaceEntry kInterfaces[] = {interfaceEntry<ClassFactory, IClassFactory>(IID_IClassFactory)};
    std::atomic<ULONG> references_{1};
};

// One row of the module's class table.
struct ClassEntry {
    const CLSID* clsid;
    IClassFactory* (*classObject)();
};

template <Creator Create>
IClassFactory* classObject() {
    return &ClassFactory<Create>::instance();
}

// DllGetClassObject over the class table: the class object of `clsid`, asked
// for `iid`; CLASS_E_CLASSNOTAVAILABLE for a class not in the table.
HRESULT getClassObject(const ClassEntry* begin, const ClassEntry* end, REFCLSID clsid, REFIID iid, void** object) noexcept;

}  // namespace cartscope::win

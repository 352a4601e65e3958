// The plumbing of COM objects made by this module: the module's lock count
// (DllCanUnloadNow), QueryInterface driven by a table of the interfaces an
// object answers, and a base that counts an object's references and holds the
// module while the object lives.
#pragma once

#include <unknwn.h>

#include <atomic>
#include <cstddef>
#include <new>

#include "win/errors.h"

namespace cartscope::win {

// Live objects and server locks of the module this library is linked into;
// the module may be unloaded when the count is 0.
void lockModule() noexcept;
void unlockModule() noexcept;
long moduleLockCount() noexcept;

// One interface an object answers: its identifier and the cast from the
// object to it (which adjusts the pointer to that base).
struct InterfaceEntry {
    const IID* iid;
    void* (*cast)(void* object) noexcept;
};

template <class Object, class Interface>
void* interfaceOf(void* object) noexcept {
    return static_cast<Interface*>(static_cast<Object*>(object));
}

// A row of Object's table: `iid` answered by its base Interface.
template <class Object, class Interface>
constexpr InterfaceEntry interfaceEntry(const IID& iid) noexcept {
    return {&iid, &interfaceOf<Object, Interface>};
}

// The rows of an object's table; the first one also answers IID_IUnknown.
struct InterfaceTable {
    const InterfaceEntry* begin;
    const InterfaceEntry* end;
};

template <std::size_t N>
constexpr InterfaceTable interfaceTable(const InterfaceEntry (&rows)[N]) noexcept {
    return {rows, rows + N};
}

// QueryInterface over a table: the first row with `iid` gives the interface,
// with a new reference; E_NOINTERFACE (and null) when no row has it.
HRESULT queryInterface(void* object, InterfaceTable table, REFIID iid, void** result) noexcept;

// The base of a COM class: Derived gives its table from a static
// interfaces(), implements its interfaces' own methods, and is made through
// create(). The object holds the module from its making until its last
// reference goes.
template <class Derived, class... Interfaces>
class ComObject : public Interfaces... {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        return queryInterface(static_cast<Derived*>(this), Derived::interfaces(), iid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete static_cast<Derived*>(this);
        return left;
    }

    // Makes an object and asks it for `iid`; the object goes again when that
    // fails.
    static HRESULT create(REFIID iid, void** object) noexcept {
        if (!object) return E_POINTER;
        *object = nullptr;
        return guarded([&]() -> HRESULT {
            Derived* created = new (std::nothrow) Derived;
            if (!created) return E_OUTOFMEMORY;
            created->AddRef();
            const HRESULT result = created->QueryInterface(iid, object);
            created->Release();
            return result;
        });
    }

protected:
    ComObject() noexcept { lockModule(); }
    ~ComObject() { unlockModule(); }
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

private:
    std::atomic<ULONG> references_{0};
};

}  // namespace cartscope::win

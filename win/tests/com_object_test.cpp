// COM objects built on the module's plumbing: interfaces answered from a
// table (through the right base of the object), references, the module's
// lock count, and the class objects of the class table.
#include <gtest/gtest.h>

#include <objidl.h>
#include <ocidl.h>

#include "win/class_factory.h"
#include "win/com_object.h"
#include "win/com_ptr.h"

using namespace cartscope::win;

namespace {

constexpr CLSID kProbeClass = {0x1D2C3B4A, 0x5E6F, 0x4789, {0x9A, 0xAB, 0xBC, 0xCD, 0xDE, 0xEF, 0xF0, 0x01}};
constexpr CLSID kOtherClass = {0x1D2C3B4A, 0x5E6F, 0x4789, {0x9A, 0xAB, 0xBC, 0xCD, 0xDE, 0xEF, 0xF0, 0x02}};
int g_liveProbes = 0;

// Answers IPersistFile (and IPersist through it) and IObjectWithSite.
class Probe final : public ComObject<Probe, IPersistFile, IObjectWithSite> {
public:
    static InterfaceTable interfaces() noexcept { return interfaceTable(kInterfaces); }

    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override {
        *clsid = kProbeClass;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsDirty() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE Load(LPCOLESTR, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Save(LPCOLESTR, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SaveCompleted(LPCOLESTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR*) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE SetSite(IUnknown*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetSite(REFIID, void** site) override {
        *site = nullptr;
        return E_ACCESSDENIED;
    }

private:
    friend ComObject;
    Probe() { ++g_liveProbes; }
    ~Probe() { --g_liveProbes; }

    static constexpr InterfaceEntry kInterfaces[] = {
        interfaceEntry<Probe, IPersistFile>(IID_IPersistFile),
        interfaceEntry<Probe, IPersistFile>(IID_IPersist),
        interfaceEntry<Probe, IObjectWithSite>(IID_IObjectWithSite),
    };
};

const ClassEntry kClasses[] = {{&kProbeClass, &classObject<&Probe::create>}};

HRESULT classObjectFor(REFCLSID clsid, IClassFactory** factory) {
    return getClassObject(std::begin(kClasses), std::end(kClasses), clsid, IID_IClassFactory, reinterpret_cast<void**>(factory));
}

}  // namespace

TEST(ComObject, AnswersThroughTheRightBaseAndGoesWithItsLastReference) {
    const long locks = moduleLockCount();
    {
        ComPtr<IObjectWithSite> site;
        ASSERT_EQ(Probe::create(IID_IObjectWithSite, site.putVoid()), S_OK);
        EXPECT_EQ(g_liveProbes, 1);
        EXPECT_EQ(moduleLockCount(), locks + 1) << "a live object holds the module";
        void* none = reinterpret_cast<void*>(1);
        EXPECT_EQ(site->GetSite(IID_IUnknown, &none), E_ACCESSDENIED) << "a call lands in the method it names";
        EXPECT_EQ(none, nullptr);

        ComPtr<IPersist> persist;
        ASSERT_EQ(site->QueryInterface(IID_IPersist, persist.putVoid()), S_OK);
        CLSID clsid = {};
        EXPECT_EQ(persist->GetClassID(&clsid), S_OK);
        EXPECT_TRUE(IsEqualCLSID(clsid, kProbeClass));

        // One identity, whichever interface it is asked through.
        ComPtr<IUnknown> fromSite, fromPersist;
        ASSERT_EQ(site->QueryInterface(IID_IUnknown, fromSite.putVoid()), S_OK);
        ASSERT_EQ(persist->QueryInterface(IID_IUnknown, fromPersist.putVoid()), S_OK);
        EXPECT_EQ(fromSite.get(), fromPersist.get());

        ComPtr<IUnknown> refused;
        EXPECT_EQ(site->QueryInterface(IID_IPersistStream, refused.putVoid()), E_NOINTERFACE);
        EXPECT_FALSE(refused);
        EXPECT_EQ(site->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    }
    EXPECT_EQ(g_liveProbes, 0);
    EXPECT_EQ(moduleLockCount(), locks);

    ComPtr<IUnknown> refused;
    EXPECT_EQ(Probe::create(IID_IDispatch, refused.putVoid()), E_NOINTERFACE);
    EXPECT_FALSE(refused);
    EXPECT_EQ(g_liveProbes, 0) << "an object asked for what it does not answer goes again";
    EXPECT_EQ(moduleLockCount(), locks);
}

TEST(ClassFactory, OnePerClassKeptWithoutHoldingTheModule) {
    const long locks = moduleLockCount();
    ComPtr<IClassFactory> factory, again, other;
    EXPECT_EQ(classObjectFor(kOtherClass, other.put()), CLASS_E_CLASSNOTAVAILABLE);
    ASSERT_EQ(classObjectFor(kProbeClass, factory.put()), S_OK);
    ASSERT_EQ(classObjectFor(kProbeClass, again.put()), S_OK);
    EXPECT_EQ(factory.get(), again.get());
    EXPECT_EQ(moduleLockCount(), locks) << "class objects do not hold the module";

    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(moduleLockCount(), locks + 1);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(moduleLockCount(), locks);

    ComPtr<IPersistFile> made;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPersistFile, made.putVoid()), S_OK);
    EXPECT_EQ(g_liveProbes, 1);
    ComPtr<IUnknown> aggregated;
    EXPECT_EQ(factory->CreateInstance(made.get(), IID_IUnknown, aggregated.putVoid()), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(g_liveProbes, 1);
}

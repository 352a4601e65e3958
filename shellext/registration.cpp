#include "shellext/registration.h"

#include <msxml2.h>
#include <oleauto.h>
#include <shlobj.h>

#include <new>
#include <string>
#include <utility>
#include <vector>

#include "shellext/guids.h"
#include "shellext/module.h"
#include "shellext/registry_table.h"
#include "win/com_ptr.h"
#include "win/errors.h"
#include "win/library.h"
#include "win/path.h"
#include "win/reg_key.h"

// Per-user type library registration (oleaut32, Windows Vista and later); the
// cross toolchain's headers do not declare it.
extern "C" {
HRESULT WINAPI RegisterTypeLibForUser(ITypeLib* library, OLECHAR* path, OLECHAR* helpFolder);
HRESULT WINAPI UnRegisterTypeLibForUser(REFGUID library, WORD major, WORD minor, LCID locale, SYSKIND kind);
}

namespace cartscope::shell {

namespace {

// MSXML 6 identifiers (the cross toolchain has no msxml6.h).
constexpr CLSID kClsidFreeThreadedDomDocument60 = {0x88d96a06, 0xf192, 0x11d4, {0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5}};
constexpr CLSID kClsidXslTemplate60 = {0x88d96a08, 0xf192, 0x11d4, {0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5}};
constexpr IID kIidXmlDomDocument2 = {0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};
constexpr IID kIidXslTemplate = {0x2933bf93, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

constexpr WORD kSchemaTemplateId = 221;

using win::guarded;
using win::lastErrorResult;
using win::RegKey;

// ---------------------------------------------------------------------------
// Owners of system resources.

class Bstr {
public:
    explicit Bstr(const std::wstring& text) : text_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
        if (!text_) throw std::bad_alloc();
    }
    ~Bstr() { SysFreeString(text_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return text_; }

private:
    BSTR text_;
};

class Variant {
public:
    Variant() { VariantInit(&value_); }
    explicit Variant(const std::wstring& text) : Variant() {
        value_.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        if (!value_.bstrVal) throw std::bad_alloc();
        value_.vt = VT_BSTR;
    }
    explicit Variant(IUnknown* object) : Variant() {
        object->AddRef();
        value_.punkVal = object;
        value_.vt = VT_UNKNOWN;
    }
    ~Variant() { VariantClear(&value_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    const VARIANT& get() const { return value_; }
    VARIANT* put() {
        VariantClear(&value_);
        return &value_;
    }

private:
    VARIANT value_;
};

// COM for the calling thread, unless the caller has set it up already.
class ComScope {
public:
    ComScope() : initialized_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComScope() {
        if (initialized_) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    bool initialized_;
};

class SystemThreadLocale {
public:
    SystemThreadLocale() : saved_(GetThreadLocale()) { SetThreadLocale(LOCALE_SYSTEM_DEFAULT); }
    ~SystemThreadLocale() { SetThreadLocale(saved_); }
    SystemThreadLocale(const SystemThreadLocale&) = delete;
    SystemThreadLocale& operator=(const SystemThreadLocale&) = delete;

private:
    LCID saved_;
};

class LibraryAttributes {
public:
    explicit LibraryAttributes(ITypeLib* library) : library_(library) {}
    ~LibraryAttributes() {
        if (attributes_) library_->ReleaseTLibAttr(attributes_);
    }
    LibraryAttributes(const LibraryAttributes&) = delete;
    LibraryAttributes& operator=(const LibraryAttributes&) = delete;
    HRESULT load() { return library_->GetLibAttr(&attributes_); }
    const TLIBATTR* operator->() const { return attributes_; }

private:
    ITypeLib* library_;
    TLIBATTR* attributes_ = nullptr;
};

// ---------------------------------------------------------------------------
// Registry entries: the table of registry_table.h, written and removed.

// HKEY_CLASSES_ROOT, or HKEY_CURRENT_USER\Software\Classes for per-user
// registration.
class ClassesRoot {
public:
    // `create`: make the per-user key when it is missing.
    LONG open(bool create) {
        if (!perUserRegistration()) {
            root_ = HKEY_CLASSES_ROOT;
            return ERROR_SUCCESS;
        }
        const LONG result = create ? own_.create(HKEY_CURRENT_USER, L"Software\\Classes", KEY_READ | KEY_WRITE)
                                   : own_.open(HKEY_CURRENT_USER, L"Software\\Classes", KEY_READ | KEY_WRITE);
        root_ = own_.get();
        return result;
    }
    HKEY get() const { return root_; }

private:
    RegKey own_;
    HKEY root_ = nullptr;
};

bool missing(LONG result) { return result == ERROR_FILE_NOT_FOUND || result == ERROR_PATH_NOT_FOUND; }

LONG writeEntry(HKEY root, const KeyEntry& entry) {
    if (entry.mode == Mode::Replace) {
        const LONG deleted = win::deleteTree(root, entry.path.c_str());
        if (deleted != ERROR_SUCCESS && !missing(deleted)) return deleted;
    }
    RegKey key;
    const REGSAM access = entry.values.empty() ? KEY_QUERY_VALUE : KEY_SET_VALUE;
    LONG result = key.create(root, entry.path.c_str(), access);
    if (result != ERROR_SUCCESS) return result;
    for (const Value& value : entry.values) {
        result = key.setString(value.name, value.data);
        if (result != ERROR_SUCCESS) return result;
    }
    return ERROR_SUCCESS;
}

HRESULT writeRegistryEntries(const std::wstring& module) {
    ClassesRoot classes;
    LONG result = classes.open(true);
    if (result != ERROR_SUCCESS) return HRESULT_FROM_WIN32(result);
    for (const KeyEntry& entry : registryEntries(module)) {
        result = writeEntry(entry.hive == Hive::ClassesRoot ? classes.get() : HKEY_LOCAL_MACHINE, entry);
        if (result != ERROR_SUCCESS) return HRESULT_FROM_WIN32(result);
    }
    return S_OK;
}

// Deletes what it can and reports the first failure, so that a partial
// registration is cleaned up as far as the rights allow.
HRESULT deleteRegistryEntries(const std::wstring& module) {
    ClassesRoot classes;
    LONG result = classes.open(false);
    if (result != ERROR_SUCCESS && !missing(result)) return HRESULT_FROM_WIN32(result);
    const bool haveClasses = result == ERROR_SUCCESS;
    HRESULT first = S_OK;
    const std::vector<KeyEntry> entries = registryEntries(module);
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        if (entry->mode != Mode::Replace) continue;
        if (entry->hive == Hive::ClassesRoot && !haveClasses) continue;
        result = win::deleteTree(entry->hive == Hive::ClassesRoot ? classes.get() : HKEY_LOCAL_MACHINE, entry->path.c_str());
        if (result != ERROR_SUCCESS && !missing(result) && SUCCEEDED(first)) first = HRESULT_FROM_WIN32(result);
    }
    return first;
}

// ---------------------------------------------------------------------------
// Type library (resource TYPELIB 1 of the library's own file).

HRESULT registerTypeLibrary(const std::wstring& module) {
    win::ComPtr<ITypeLib> library;
    HRESULT result = LoadTypeLibEx(module.c_str(), REGKIND_NONE, library.put());
    if (FAILED(result)) return result;
    std::wstring path = module;
    std::wstring helpFolder = win::folderOf(module);
    return perUserRegistration() ? RegisterTypeLibForUser(library.get(), path.data(), helpFolder.data())
                                 : RegisterTypeLib(library.get(), path.data(), helpFolder.data());
}

HRESULT unregisterTypeLibrary(const std::wstring& module) {
    win::ComPtr<ITypeLib> library;
    HRESULT result = LoadTypeLibEx(module.c_str(), REGKIND_NONE, library.put());
    if (FAILED(result)) return result;
    LibraryAttributes attributes(library.get());
    result = attributes.load();
    if (FAILED(result)) return result;
    BSTR registeredPath = nullptr;
    result = QueryPathOfRegTypeLib(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum, attributes->lcid,
                                   &registeredPath);
    SysFreeString(registeredPath);
    if (result == TYPE_E_LIBNOTREGISTERED) return S_OK;
    return perUserRegistration() ? UnRegisterTypeLibForUser(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum,
                                                            attributes->lcid, attributes->syskind)
                                 : UnRegisterTypeLib(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum,
                                                     attributes->lcid, attributes->syskind);
}

// ---------------------------------------------------------------------------
// Property schema.

using SchemaFunction = HRESULT(WINAPI*)(PCWSTR path);

std::wstring schemaPath(const std::wstring& module) {
    const std::size_t slash = module.find_last_of(L"\\/");
    const std::size_t dot = module.find_last_of(L'.');
    const bool hasExtension = dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash);
    return (hasExtension ? module.substr(0, dot) : module) + L".propdesc";
}

// The template resource, widened from the system's ANSI code page.
HRESULT readSchemaTemplate(std::wstring& text) {
    const HMODULE module = moduleHandle();
    const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(kSchemaTemplateId), RT_HTML);
    if (!found) return lastErrorResult();
    const HGLOBAL loaded = LoadResource(module, found);
    if (!loaded) return lastErrorResult();
    const auto* bytes = static_cast<const char*>(LockResource(loaded));
    int size = static_cast<int>(SizeofResource(module, found));
    if (!bytes || size == 0) return lastErrorResult();
    while (size > 0 && bytes[size - 1] == '\0') --size;
    const int length = MultiByteToWideChar(CP_ACP, 0, bytes, size, nullptr, 0);
    if (length == 0) return lastErrorResult();
    text.assign(static_cast<std::size_t>(length), L'\0');
    if (MultiByteToWideChar(CP_ACP, 0, bytes, size, text.data(), length) != length) return lastErrorResult();
    return S_OK;
}

HRESULT newDocument(win::ComPtr<IXMLDOMDocument2>& document) {
    HRESULT result =
        CoCreateInstance(kClsidFreeThreadedDomDocument60, nullptr, CLSCTX_INPROC_SERVER, kIidXmlDomDocument2, document.putVoid());
    if (FAILED(result)) return result;
    return document->put_async(VARIANT_FALSE);
}

HRESULT loadText(IXMLDOMDocument2* document, const std::wstring& text) {
    const Bstr source(text);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    const HRESULT result = document->loadXML(source.get(), &loaded);
    if (FAILED(result)) return result;
    if (loaded == VARIANT_TRUE) return S_OK;
    win::ComPtr<IXMLDOMParseError> error;
    long code = 0;
    if (SUCCEEDED(document->get_parseError(error.put())) && error.get() && SUCCEEDED(error->get_errorCode(&code)) && FAILED(code))
        return code;
    return E_FAIL;
}

HRESULT transform(IXMLDOMDocument2* stylesheet, const std::wstring& module, std::wstring& output) {
    win::ComPtr<IXSLTemplate> xslt;
    HRESULT result = CoCreateInstance(kClsidXslTemplate60, nullptr, CLSCTX_INPROC_SERVER, kIidXslTemplate, xslt.putVoid());
    if (FAILED(result)) return result;
    if (FAILED(result = xslt->putref_stylesheet(stylesheet))) return result;
    win::ComPtr<IXSLProcessor> processor;
    if (FAILED(result = xslt->createProcessor(processor.put()))) return result;
    const Bstr name(L"MODULE");
    const Bstr noNamespace(L"");
    if (FAILED(result = processor->addParameter(name.get(), Variant(module).get(), noNamespace.get()))) return result;
    if (FAILED(result = processor->put_input(Variant(stylesheet).get()))) return result;
    VARIANT_BOOL done = VARIANT_FALSE;
    if (FAILED(result = processor->transform(&done))) return result;
    if (done != VARIANT_TRUE) return E_FAIL;
    Variant text;
    if (FAILED(result = processor->get_output(text.put()))) return result;
    if (text.get().vt != VT_BSTR) return E_UNEXPECTED;
    output.assign(text.get().bstrVal, SysStringLen(text.get().bstrVal));
    return S_OK;
}

HRESULT writeSchema(const std::wstring& module, const std::wstring& path) {
    std::wstring stylesheetText;
    HRESULT result = readSchemaTemplate(stylesheetText);
    if (FAILED(result)) return result;
    const ComScope com;
    win::ComPtr<IXMLDOMDocument2> stylesheet;
    if (FAILED(result = newDocument(stylesheet))) return result;
    if (FAILED(result = loadText(stylesheet.get(), stylesheetText))) return result;
    std::wstring schemaText;
    if (FAILED(result = transform(stylesheet.get(), module, schemaText))) return result;
    win::ComPtr<IXMLDOMDocument2> schema;
    if (FAILED(result = newDocument(schema))) return result;
    if (FAILED(result = loadText(schema.get(), schemaText))) return result;
    return schema->save(Variant(path).get());
}

// Runs `work` with the library's path, so that no exception leaves it; the
// thread's last error when the path cannot be had.
template <class Work>
HRESULT withModulePath(Work&& work) noexcept {
    return guarded([&] {
        const std::wstring module = modulePath();
        if (module.empty()) return lastErrorResult();
        return work(module);
    });
}

}  // namespace

// ---------------------------------------------------------------------------

HRESULT registerModule() noexcept {
    const SystemThreadLocale locale;
    return withModulePath([](const std::wstring& module) {
        // The class declares no component categories: nothing to register for them.
        const HRESULT result = writeRegistryEntries(module);
        if (FAILED(result)) return result;
        return registerTypeLibrary(module);
    });
}

HRESULT unregisterModule() noexcept {
    const SystemThreadLocale locale;
    return withModulePath([](const std::wstring& module) {
        const HRESULT result = deleteRegistryEntries(module);
        if (FAILED(result)) return result;
        return unregisterTypeLibrary(module);
    });
}

HRESULT registerPropertySchema() noexcept {
    const win::Library propsys(L"propsys.dll");
    if (!propsys) return S_OK;
    return withModulePath([&](const std::wstring& module) {
        const std::wstring path = schemaPath(module);
        const HRESULT result = writeSchema(module, path);
        if (FAILED(result)) return result;
        const auto registerSchema = propsys.procedure<SchemaFunction>("PSRegisterPropertySchema");
        if (!registerSchema) return lastErrorResult();
        return registerSchema(path.c_str());
    });
}

HRESULT unregisterPropertySchema() noexcept {
    const win::Library propsys(L"propsys.dll");
    if (!propsys) return S_OK;
    return withModulePath([&](const std::wstring& module) {
        const std::wstring path = schemaPath(module);
        const auto unregisterSchema = propsys.procedure<SchemaFunction>("PSUnregisterPropertySchema");
        if (!unregisterSchema) return lastErrorResult();
        const HRESULT result = unregisterSchema(path.c_str());
        if (SUCCEEDED(result)) DeleteFileW(path.c_str());
        return result;
    });
}

void notifyShell() noexcept {
    PIDLIST_ABSOLUTE desktop = nullptr;
    if (FAILED(SHGetFolderLocation(nullptr, CSIDL_DESKTOP, nullptr, 0, &desktop))) return;
    SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_IDLIST, desktop, nullptr);
    CoTaskMemFree(desktop);
}

}  // namespace cartscope::shell

namespace {

using namespace cartscope::shell;

// Module registration followed by the schema; the shell hears of it when both
// worked. A schema failure is not reported.
HRESULT registerAll() {
    const HRESULT result = registerModule();
    if (FAILED(result)) return result;
    if (SUCCEEDED(registerPropertySchema())) notifyShell();
    return result;
}

HRESULT unregisterAll() {
    HRESULT result = unregisterPropertySchema();
    if (FAILED(result)) return result;
    result = unregisterModule();
    if (FAILED(result)) return result;
    notifyShell();
    return result;
}

bool isUserCommand(LPCWSTR commandLine) {
    return commandLine && CompareStringOrdinal(commandLine, -1, L"user", -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

extern "C" HRESULT __stdcall DllRegisterServer() { return registerAll(); }

extern "C" HRESULT __stdcall DllUnregisterServer() { return unregisterAll(); }

extern "C" HRESULT __stdcall DllInstall(BOOL install, LPCWSTR commandLine) {
    if (isUserCommand(commandLine)) perUserRegistration() = true;
    if (!install) return unregisterAll();
    const HRESULT result = registerAll();
    if (SUCCEEDED(result)) return result;
    // Take back what the failed registration may have left.
    if (FAILED(unregisterPropertySchema())) return result;
    if (SUCCEEDED(unregisterModule())) notifyShell();
    return result;
}

// Test support: loads Cartscope.dll as the Explorer does and owns COM pointers.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>
#include <utility>

#include "win/com_ptr.h"
#include "win/library.h"

namespace cartscope::shell::testing {

template <class T>
using ComPtr = win::ComPtr<T>;

// A data object with a CF_HDROP of the given names, or with no formats at all.
class DropData final : public IDataObject {
public:
    DropData(std::vector<std::wstring> names, bool hasDrop) : names_(std::move(names)), hasDrop_(hasDrop) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDataObject)) {
            *object = this;
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (!hasDrop_ || format->cfFormat != CF_HDROP) return DV_E_FORMATETC;
        std::size_t units = 2;  // the list ends with an empty name
        for (const auto& name : names_) units += name.size() + 1;
        HGLOBAL global = GlobalAlloc(GHND, sizeof(DROPFILES) + units * sizeof(wchar_t));
        auto* drop = static_cast<DROPFILES*>(GlobalLock(global));
        drop->pFiles = sizeof(DROPFILES);
        drop->fWide = TRUE;
        auto* text = reinterpret_cast<wchar_t*>(drop + 1);
        for (const auto& name : names_) {
            std::copy(name.begin(), name.end(), text);
            text += name.size() + 1;
        }
        GlobalUnlock(global);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = global;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

private:
    std::vector<std::wstring> names_;
    bool hasDrop_;
};

// Cartscope.dll from the test program's own folder, loaded once (and kept
// for the rest of the process).
struct Library {
    HMODULE module = nullptr;
    HRESULT(__stdcall* getClassObject)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT(__stdcall* canUnloadNow)() = nullptr;
    std::wstring path;
};

const Library& library();

// A fresh object of the class, asked for `iid`.
HRESULT createObject(REFIID iid, void** object);

// Cartscope.dll copied into `folder` (ending in a backslash) and loaded from
// there; unloaded when the copy goes, so its objects must go first.
class LibraryCopy {
public:
    explicit LibraryCopy(const std::wstring& folder);
    ~LibraryCopy();
    LibraryCopy(const LibraryCopy&) = delete;
    LibraryCopy& operator=(const LibraryCopy&) = delete;

    bool loaded() const { return library_.getClassObject != nullptr; }
    HRESULT createObject(REFIID iid, void** object) const;

private:
    win::Library owner_;
    Library library_;
};

// The folder of the running test program, ending in a backslash.
std::wstring programFolder();

// Records an update check at this moment (last_update), so that objects made
// by the test do not start the command program beside the library for one.
void markUpdateChecked();
// Removes last_update and settings: an update check is due.
void clearUpdateState();

}  // namespace cartscope::shell::testing

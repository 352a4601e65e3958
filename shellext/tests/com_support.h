// Test support: loads Cartscope.dll as the Explorer does and owns COM pointers.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <utility>

namespace cartscope::shell::testing {

// A COM interface pointer, released when the holder goes.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T** put() {
        reset();
        return &p_;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }
    void reset() {
        if (p_) std::exchange(p_, nullptr)->Release();
    }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

// Cartscope.dll from the test program's own folder, loaded once.
struct Library {
    HMODULE module = nullptr;
    HRESULT(__stdcall* getClassObject)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT(__stdcall* canUnloadNow)() = nullptr;
    std::wstring path;
};

const Library& library();

// A fresh object of the class, asked for `iid`.
HRESULT createObject(REFIID iid, void** object);

// The folder of the running test program, ending in a backslash.
std::wstring programFolder();

}  // namespace cartscope::shell::testing

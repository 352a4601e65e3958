// A COM interface pointer that releases its reference when its holder goes.
#pragma once

#include <unknwn.h>

#include <utility>

namespace cartscope::win {

template <class T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr& other) noexcept : p_(other.p_) {
        if (p_) p_->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }

    // Another reference to `object` (null: none).
    static ComPtr shared(T* object) noexcept {
        ComPtr held;
        held.p_ = object;
        if (object) object->AddRef();
        return held;
    }

    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }

    // For functions that hand out a reference through a pointer: the one
    // held before is released first.
    T** put() noexcept {
        reset();
        return &p_;
    }
    void** putVoid() noexcept { return reinterpret_cast<void**>(put()); }

    void reset() noexcept {
        if (p_) std::exchange(p_, nullptr)->Release();
    }
    // Gives the reference up without releasing it.
    T* release() noexcept { return std::exchange(p_, nullptr); }

private:
    T* p_ = nullptr;
};

}  // namespace cartscope::win

// Owners of system handles: each closes what it holds when it goes, and
// moves but never copies.
#pragma once

#include <windows.h>

#include <utility>

namespace cartscope::win {

// A handle of the kind its Traits describe: their invalid() value means none,
// valid() tells a handle to close from none, close() closes it.
template <class Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Type handle) noexcept : handle_(handle) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Type get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return Traits::valid(handle_); }

    // Gives the handle up without closing it.
    Type release() noexcept { return std::exchange(handle_, Traits::invalid()); }
    // Closes the handle held (if any) and holds `handle` instead.
    void reset(Type handle = Traits::invalid()) noexcept {
        const Type old = std::exchange(handle_, handle);
        if (Traits::valid(old)) Traits::close(old);
    }
    // For functions that hand out a handle through a pointer: the handle held
    // before is closed first.
    Type* put() noexcept {
        reset();
        return &handle_;
    }

private:
    Type handle_ = Traits::invalid();
};

// Kernel objects (files, processes, threads, mutexes, semaphores, snapshots):
// both null and INVALID_HANDLE_VALUE mean none, as the functions that make
// them use either for a failure.
struct KernelHandleTraits {
    using Type = HANDLE;
    static Type invalid() noexcept { return nullptr; }
    static bool valid(Type handle) noexcept { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
    static void close(Type handle) noexcept { CloseHandle(handle); }
};
using Handle = UniqueHandle<KernelHandleTraits>;

}  // namespace cartscope::win

// A loaded library, freed when its holder goes, and typed lookup of the
// procedures it exports.
#pragma once

#include <windows.h>

#include <type_traits>

#include "win/handle.h"

namespace cartscope::win {

// The procedure `name` of `module` as a pointer of type Function; null when
// the module does not export it.
template <class Function>
Function procedure(HMODULE module, const char* name) noexcept {
    static_assert(std::is_pointer_v<Function> && std::is_function_v<std::remove_pointer_t<Function>>, "a pointer to a function");
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

struct LibraryTraits {
    using Type = HMODULE;
    static Type invalid() noexcept { return nullptr; }
    static bool valid(Type module) noexcept { return module != nullptr; }
    static void close(Type module) noexcept { FreeLibrary(module); }
};

class Library {
public:
    Library() noexcept = default;
    // Loads `name` as LoadLibraryExW does with `flags`; check with operator bool.
    explicit Library(const wchar_t* name, DWORD flags = 0) noexcept : module_(LoadLibraryExW(name, nullptr, flags)) {}

    HMODULE get() const noexcept { return module_.get(); }
    explicit operator bool() const noexcept { return static_cast<bool>(module_); }
    // Keeps the library loaded for the rest of the process.
    HMODULE release() noexcept { return module_.release(); }
    // Frees the library now.
    void reset() noexcept { module_.reset(); }

    template <class Function>
    Function procedure(const char* name) const noexcept {
        return win::procedure<Function>(module_.get(), name);
    }

private:
    UniqueHandle<LibraryTraits> module_;
};

}  // namespace cartscope::win

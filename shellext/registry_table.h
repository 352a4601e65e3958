// The registry entries of Cartscope.dll as one table: DllRegisterServer and
// DllInstall write it (registration.cpp), and the installer's registry rows
// are generated from it (installer/registry_wxs.cpp). Portable on purpose: no
// Windows headers, so that a native build can read the same table.
#pragma once

#include <string>
#include <vector>

namespace cartscope::shell {

inline constexpr wchar_t kClsidText[] = L"{5E7A3C21-B94D-4F18-9C2E-71D0A6B3F4C5}";
inline constexpr wchar_t kClsidSecondText[] = L"{5E7A3C22-B94D-4F18-9C2E-71D0A6B3F4C5}";

// ClassesRoot: HKEY_CLASSES_ROOT, or HKEY_CURRENT_USER\Software\Classes for
// per-user registration. LocalMachine: HKEY_LOCAL_MACHINE in every scope.
enum class Hive { ClassesRoot, LocalMachine };

enum class Mode {
    Keep,     // created when missing; left alone, values included, by unregistration
    Replace,  // deleted with its subkeys and written anew; deleted by unregistration
    Inside,   // written inside a replace-mode key, and goes with it
};

struct Value {
    const wchar_t* name;  // nullptr: the default value
    std::wstring data;
};

struct KeyEntry {
    Hive hive;
    std::wstring path;
    Mode mode;
    std::vector<Value> values;
};

// The entries in the order they are written; `module` is the library's full
// path (InprocServer32's default value).
std::vector<KeyEntry> registryEntries(const std::wstring& module);

}  // namespace cartscope::shell

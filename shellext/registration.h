// Registration of Cartscope.dll: its registry entries and type library, the
// property-description schema beside the library, and the entry points that
// regsvr32 and installers call (DllRegisterServer, DllUnregisterServer,
// DllInstall).
#pragma once

#include <windows.h>

namespace cartscope::shell {

// Writes the library's registry entries and registers its type library (per
// user when perUserRegistration() is on). Entries in replace mode are deleted
// with their subkeys and written anew; entries in keep mode are created when
// missing. The thread locale is the system default during the work.
HRESULT registerModule() noexcept;
// Deletes the replace-mode entries (keep-mode entries stay with their values),
// then unregisters the type library; a type library that is not registered
// counts as unregistered.
HRESULT unregisterModule() noexcept;

// Writes "<library path without extension>.propdesc" from the schema template
// (resource HTML 221, run through XSLT with MODULE = the library's path) and
// registers it with the property system. S_OK without doing anything when
// propsys.dll cannot be loaded.
HRESULT registerPropertySchema() noexcept;
// Unregisters the schema file from the property system and, when that
// succeeds, deletes it. S_OK without doing anything when propsys.dll cannot be
// loaded.
HRESULT unregisterPropertySchema() noexcept;

// Tells the shell that the desktop changed, so that it picks up new handlers.
void notifyShell() noexcept;

}  // namespace cartscope::shell

extern "C" {
HRESULT __stdcall DllRegisterServer();
HRESULT __stdcall DllUnregisterServer();
// commandLine "user" (any case) switches to per-user registration for as long
// as the library stays loaded.
HRESULT __stdcall DllInstall(BOOL install, LPCWSTR commandLine);
}

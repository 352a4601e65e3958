#include "module.h"

#include <utility>

#include "win/module_path.h"
#include "win/process.h"

namespace cartscope::shell {

namespace {

HMODULE g_module = nullptr;
bool g_perUser = false;

}  // namespace

HMODULE moduleHandle() { return g_module; }
void setModuleHandle(HMODULE module) { g_module = module; }

std::wstring modulePath() { return win::modulePath(g_module); }

std::wstring commandProgramPath() { return win::besideModule(g_module, L"Cartscope CMD.exe"); }

DWORD startCommandProgram(std::wstring commandLine) {
    return win::startProcess(commandProgramPath().c_str(), std::move(commandLine)).error;
}

bool& perUserRegistration() { return g_perUser; }

}  // namespace cartscope::shell

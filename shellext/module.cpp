#include "shellext/module.h"

#include <utility>

#include "win/module_path.h"
#include "win/process.h"
#include "win/text.h"

namespace cartscope::shell {

namespace {

HMODULE g_module = nullptr;
bool g_perUser = false;

}  // namespace

HMODULE moduleHandle() { return g_module; }
void setModuleHandle(HMODULE module) { g_module = module; }

std::wstring modulePath() { return win::modulePath(g_module); }

std::wstring commandProgramPath() { return win::besideModule(g_module, L"Cartscope CMD.exe"); }

DWORD startCommandProgram(Command command, const std::optional<std::u16string>& pathFile) {
    return win::startProcess(commandProgramPath().c_str(), win::toWide(buildCommandLine(command, pathFile))).error;
}

bool& perUserRegistration() { return g_perUser; }

}  // namespace cartscope::shell

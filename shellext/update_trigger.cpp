#include "shellext/update_trigger.h"

#include <windows.h>

#include <atomic>
#include <ctime>

#include "shellext/module.h"

namespace cartscope::shell {

namespace {

constexpr std::int64_t kDay = 86400;
constexpr std::int64_t kRelaunchPause = 300;

// Per process, for as long as the library stays loaded.
std::atomic<std::int64_t> g_cachedLastUpdate{0};
std::atomic<std::int64_t> g_lastLaunch{0};

}  // namespace

bool checkUpdateTrigger(std::int64_t now, const UpdateTriggerSources& sources) {
    if (now <= g_cachedLastUpdate.load() + kDay) return false;
    std::int64_t launched = g_lastLaunch.load();
    if (now <= launched + kRelaunchPause) return false;
    if (!sources.interactive()) return false;
    if (sources.mode() != UpdateMode::OnFolderOpen) return false;
    const auto lastUpdate = static_cast<std::int64_t>(sources.lastUpdate());
    g_cachedLastUpdate.store(lastUpdate);
    if (now <= lastUpdate + kDay) return false;
    // Objects are made on several threads at once: one of them starts it.
    if (!g_lastLaunch.compare_exchange_strong(launched, now)) return false;
    sources.start();
    return true;
}

void runUpdateTrigger() {
    static const UpdateTriggerSources sources{
        [] { return updateMode(); },
        [] { return readSettingQword(kLastUpdateValue); },
        [] { startCommandProgram(Command::AutoUpdate); },
        [] { return interactiveProcess(); },
    };
    checkUpdateTrigger(static_cast<std::int64_t>(std::time(nullptr)), sources);
}

bool interactiveProcess() {
    USEROBJECTFLAGS flags = {};
    DWORD needed = 0;
    if (!GetUserObjectInformationW(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags, &needed)) return false;
    if (!(flags.dwFlags & WSF_VISIBLE)) return false;
    DWORD session = 0;
    return ProcessIdToSessionId(GetCurrentProcessId(), &session) && session != 0;
}

void resetUpdateTrigger() {
    g_cachedLastUpdate.store(0);
    g_lastLaunch.store(0);
}

}  // namespace cartscope::shell

// The automatic update check: each new shell object asks whether a check is
// due (mode OnFolderOpen, the last run more than a day ago, and this process
// has not started one in the last five minutes) and, if so, starts the command
// program with "/command:auto_update". Never from a process that no user sees
// (services, the search indexer's hosts): their program could not ask anyone.
#pragma once

#include <cstdint>
#include <functional>

#include "core/settings.h"

namespace cartscope::shell {

// Where the trigger gets what it decides on, and how it starts the program.
struct UpdateTriggerSources {
    std::function<UpdateMode()> mode;
    std::function<std::uint64_t()> lastUpdate;  // seconds since 1970, 0 when never
    std::function<void()> start;
    std::function<bool()> interactive;  // whether a user can see this process's windows
};

// One object's check at `now` (seconds since 1970); true when it started the
// program. Of threads that check at the same moment only one starts it.
bool checkUpdateTrigger(std::int64_t now, const UpdateTriggerSources& sources);

// The check with the clock, the settings, the program beside the library and
// interactiveProcess().
void runUpdateTrigger();

// True when this process runs on a visible window station (WSF_VISIBLE) and
// outside session 0, where services run.
bool interactiveProcess();

// Forgets the process's cached last-update and last-launch times.
void resetUpdateTrigger();

}  // namespace cartscope::shell

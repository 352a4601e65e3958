// The automatic update check: each new shell object asks whether a check is
// due (mode OnFolderOpen, the last run more than a day ago, and this process
// has not started one in the last five minutes) and, if so, starts the command
// program with "/command:auto_update".
#pragma once

#include <cstdint>
#include <functional>

#include "settings.h"

namespace cartscope::shell {

// Where the trigger gets what it decides on, and how it starts the program.
struct UpdateTriggerSources {
    std::function<UpdateMode()> mode;
    std::function<std::uint64_t()> lastUpdate;  // seconds since 1970, 0 when never
    std::function<void()> start;
};

// One object's check at `now` (seconds since 1970); true when it started the
// program. Of threads that check at the same moment only one starts it.
bool checkUpdateTrigger(std::int64_t now, const UpdateTriggerSources& sources);

// The check with the clock, the settings and the program beside the library.
void runUpdateTrigger();

// Forgets the process's cached last-update and last-launch times.
void resetUpdateTrigger();

}  // namespace cartscope::shell

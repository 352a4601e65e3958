// Where the user's data lives: the release database.
#pragma once

#include <optional>
#include <string>

namespace cartscope::platform {

// The per-user data folder of Cartscope, ending in a separator; nullopt when
// the system cannot say where it is. The folder is not created.
std::optional<std::u16string> dataFolder();

}  // namespace cartscope::platform

// cartscope update-db: keeps the data folder's release database current from
// the update server, as the Windows program's updater does.
#pragma once

#include <string>

namespace cartscope::cli {

// Reads SERVER/Cartscope/version.txt (and, when the build trusts an update
// key, its signature), and installs the database it offers when that is newer
// than the data folder's. `server` empty: the server the build was made for.
// Gives the exit status: 0 when the database is current (its line on stdout),
// 1 on any failure (the reason on stderr; the installed database and the
// data folder as they were, but for a new empty data folder).
int updateDatabase(const std::string& server);

}  // namespace cartscope::cli

// The commands that file managers and batches start once per file (info,
// icon, thumbnail, trim, untrim), taken straight from their arguments in their
// common forms, so that such a run needs none of the full command line's
// set-up.
#pragma once

#include <optional>

namespace cartscope::cli {

// Runs `cartscope info|icon|thumbnail|trim|untrim ...` when every argument has one of the
// plain forms read here, and gives its exit status. Anything else (another
// command, help, an option spelt another way, a value that the full command
// line would check or read otherwise, a usage error) gives nullopt, with
// nothing done: the full command line then runs the same arguments, and for
// the forms read here it does exactly what this does.
std::optional<int> runPerFileCommand(int argc, char** argv);

}  // namespace cartscope::cli

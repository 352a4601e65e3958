// The command line as a whole: every command, its options, help and usage
// errors.
#pragma once

namespace cartscope::cli {

// Runs the command line; gives the exit status: 0 when every file succeeded,
// 1 when any failed, 2 for a usage error.
int run(int argc, char** argv);

}  // namespace cartscope::cli

// cartscope: runs the commands that are started once per file (see
// per_file.h) itself, and hands every other command line to cartscope-full,
// the whole command line with its network and cryptography libraries. So a
// file manager's thumbnail or a batch's info or trim starts in about the time
// the C library takes, loading no shared library but the C library's and setting up
// nothing it does not use. cartscope-full is looked for where the package installs it
// (a private folder under libexec, found from this program's own path), then
// beside this program (the build folder).
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/per_file.h"

namespace {

// The folder of the running program, with its final '/'; empty when
// /proc/self/exe cannot be read.
std::string ownFolder() {
    std::vector<char> path(4096);
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= path.size()) return {};
    std::string own(path.data(), static_cast<std::size_t>(length));
    return own.substr(0, own.rfind('/') + 1);
}

// Replaces this process with cartscope-full and the same arguments; returns
// only when that fails, with the exit status (the reason on stderr).
int runFullCommandLine(char** argv) {
    const std::string folder = ownFolder();
    if (folder.empty()) {
        std::fprintf(stderr, "cartscope: cannot find this program's folder (/proc/self/exe): %s\n", std::strerror(errno));
        return 1;
    }
    const std::string candidates[] = {folder + CARTSCOPE_FULL_FROM_BIN, folder + "cartscope-full"};
    int error = ENOENT;
    for (const auto& candidate : candidates) {
        ::execv(candidate.c_str(), argv);
        if (errno != ENOENT) error = errno;
    }
    std::fprintf(stderr, "cartscope: cannot start cartscope-full (looked for %s and %s): %s\n", candidates[0].c_str(),
                 candidates[1].c_str(), std::strerror(error));
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    // A file that outgrows the size limit of the process fails with EFBIG,
    // which is reported and cleaned up, instead of ending the process.
    std::signal(SIGXFSZ, SIG_IGN);
    if (const auto status = cartscope::cli::runPerFileCommand(argc, argv)) return *status;
    return runFullCommandLine(argv);
}

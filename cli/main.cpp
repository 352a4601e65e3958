// cartscope-full: the whole command line (see front.cpp).
#include <csignal>

#include "cli/command_line.h"

int main(int argc, char** argv) {
    // A file that outgrows the size limit of the process fails with EFBIG,
    // which is reported and cleaned up, instead of ending the process.
    std::signal(SIGXFSZ, SIG_IGN);
    return cartscope::cli::run(argc, argv);
}

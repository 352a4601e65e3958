// Holds a database lock for a while, for the tests that check how processes
// wait for each other:
//   lock_holder read|write MILLISECONDS READY_FILE DONE_FILE
// Makes READY_FILE once it holds the lock, DONE_FILE just before letting go.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <thread>

#include "core/platform/database_lock.h"

int main(int argc, char** argv) {
    if (argc != 5 || (std::strcmp(argv[1], "read") != 0 && std::strcmp(argv[1], "write") != 0)) {
        std::fprintf(stderr, "usage: lock_holder read|write MILLISECONDS READY_FILE DONE_FILE\n");
        return 2;
    }
    std::unique_ptr<cartscope::platform::DatabaseReadLock> read;
    std::unique_ptr<cartscope::platform::DatabaseWriteLock> write;
    if (argv[1][0] == 'r')
        read = std::make_unique<cartscope::platform::DatabaseReadLock>();
    else
        write = std::make_unique<cartscope::platform::DatabaseWriteLock>();
    std::ofstream(argv[3]) << "ready\n";
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[2])));
    std::ofstream(argv[4]) << "done\n";
    return 0;
}

// icon_floor's work in a C++ program linked as cartscope is: the C++ and gcc
// runtimes linked in statically, their allocation and exception support set
// up at the start (a std::string of the path; an exception when it does not
// read). Against icon_floor it shows what the C++ runtime alone costs a run.
//   cxx_floor ROM
#include <stdexcept>
#include <string>

#include "rom_floor.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const std::string path = argv[1];
    unsigned char header[512];
    unsigned char banner[0x840];
    if (readRom(path.c_str(), header, banner)) throw std::runtime_error(path + ": cannot read the header and banner");
    return banner[0x20] == 0xAB;
}

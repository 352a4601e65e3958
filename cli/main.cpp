#include "commands.h"

int main(int argc, char** argv) { return cartscope::cli::run(argc, argv); }

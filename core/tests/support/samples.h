// The sample ROM images bundled in samples/: small homebrew-like cards of our
// own, with our own icons and titles in several languages.
#pragma once

#include <string>
#include <vector>

#include "core/tests/support/rom_builder.h"

namespace cartscope::testing {

struct Sample {
    std::string fileName;
    RomSpec card;
};

std::vector<Sample> sampleRoms();

}  // namespace cartscope::testing

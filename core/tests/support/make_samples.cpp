// Writes the bundled sample ROM images into the folder given as argument.
#include <cstdio>
#include <exception>

#include "core/tests/support/samples.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_samples FOLDER\n");
        return 2;
    }
    try {
        for (const auto& sample : cartscope::testing::sampleRoms()) {
            const auto path = std::filesystem::path(argv[1]) / sample.fileName;
            cartscope::testing::writeFile(path, cartscope::testing::buildRom(sample.card));
            std::printf("%s\n", path.string().c_str());
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_samples: %s\n", e.what());
        return 1;
    }
    return 0;
}

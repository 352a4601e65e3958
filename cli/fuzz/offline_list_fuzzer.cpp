// libFuzzer target: OfflineList dat files.
#include "cli/fuzz/list_fuzzer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return cartscope::cli::fuzzReleaseList(cartscope::cli::readOfflineList, data, size);
}

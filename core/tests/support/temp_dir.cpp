#include "temp_dir.h"

#include <random>
#include <stdexcept>

#include "platform/file.h"

namespace cartscope::testing {

TempDir::TempDir() {
    std::random_device seed;
    std::mt19937_64 random(seed());
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = base / ("cartscope-test-" + std::to_string(random() % 1000000000ull));
        if (std::filesystem::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot make a scratch folder");
}

TempDir::~TempDir() {
    std::error_code ignored;
    // Read-only files left by a test must not keep the folder alive.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored))
        platform::setReadOnly(entry.path().u16string(), false);
    std::filesystem::remove_all(path_, ignored);
}

std::u16string TempDir::file(const std::string& name) const { return (path_ / name).u16string(); }

}  // namespace cartscope::testing

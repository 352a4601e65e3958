#include "core/tests/support/temp_dir.h"

#include <random>
#include <stdexcept>

#include "core/platform/file.h"
#include "core/text.h"

namespace cartscope::testing {

namespace {

// A path as the core takes it. POSIX names need not be UTF-8 (tests make such
// names): their bytes are kept, where std::filesystem would throw.
std::u16string corePath(const std::filesystem::path& path) {
#ifdef _WIN32
    return path.u16string();
#else
    return fromUtf8(path.native(), Utf8Errors::Escape);
#endif
}

}  // namespace

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
        platform::setReadOnly(corePath(entry.path()), false);
    std::filesystem::remove_all(path_, ignored);
}

std::u16string TempDir::file(const std::string& name) const { return corePath(path_ / name); }

}  // namespace cartscope::testing

// A scratch folder for one test, removed with everything in it at the end.
#pragma once

#include <filesystem>
#include <string>

namespace cartscope::testing {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // A file name inside the folder, as the core takes paths.
    std::u16string file(const std::string& name) const;

private:
    std::filesystem::path path_;
};

}  // namespace cartscope::testing

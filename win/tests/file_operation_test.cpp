// Files moved through the shell in one operation.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "core/tests/support/temp_dir.h"
#include "win/file_operation.h"

namespace fs = std::filesystem;

namespace {

std::string content(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(MoveFiles, EachFileToTheNameAtTheSamePlace) {
    cartscope::testing::TempDir dir;
    std::ofstream(dir.path() / "a.nds") << "first";
    std::ofstream(dir.path() / "b.nds") << "second";
    const std::wstring from = (dir.path() / "a.nds").wstring() + L'\0' + (dir.path() / "b.nds").wstring() + L'\0';
    const std::wstring to =
        (dir.path() / L"\u30B2\u30FC\u30E0.nds").wstring() + L'\0' + (dir.path() / "Game.nds").wstring() + L'\0';
    EXPECT_EQ(cartscope::win::moveFiles(nullptr, from, to), 0);
    EXPECT_FALSE(fs::exists(dir.path() / "a.nds"));
    EXPECT_FALSE(fs::exists(dir.path() / "b.nds"));
    EXPECT_EQ(content(dir.path() / L"\u30B2\u30FC\u30E0.nds"), "first");
    EXPECT_EQ(content(dir.path() / "Game.nds"), "second");
}

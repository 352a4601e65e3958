// The framework's files: a disk file and a file in memory.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "cmd/framework/file.h"
#include "core/tests/support/temp_dir.h"

using cartscope::ui::File;
using cartscope::ui::FileException;
using cartscope::ui::MemFile;

TEST(DiskFile, CreatesWritesAndReportsErrors) {
    cartscope::testing::TempDir dir;
    const std::wstring path = (dir.path() / "out.bin").wstring();
    File file;
    ASSERT_TRUE(file.open(path, File::modeCreate | File::modeWrite));
    file.write("abc", 3);
    file.write("", 0);
    EXPECT_EQ(file.length(), 3u);
    file.close();
    EXPECT_FALSE(file.isOpen());
    EXPECT_THROW(file.write("x", 1), FileException) << "a closed file takes nothing";

    ASSERT_TRUE(file.open(path, File::modeCreate | File::modeWrite));
    file.write("abc", 3);
    file.close();
    EXPECT_FALSE(file.open(path, File::modeCreateNew | File::modeWrite)) << "modeCreateNew never opens an existing file";
    ASSERT_TRUE(file.open(path, File::modeRead));
    EXPECT_EQ(file.length(), 3u) << "and leaves it as it was";
    file.close();
    ASSERT_TRUE(file.open(path, File::modeCreate | File::modeWrite));
    EXPECT_EQ(file.length(), 0u) << "modeCreate truncates";
    file.close();

    DWORD error = 0;
    File missing;
    EXPECT_FALSE(missing.open((dir.path() / "no" / "such.bin").wstring(), File::modeWrite, &error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    File reading;
    ASSERT_TRUE(reading.open(path, File::modeRead));
    try {
        reading.write("x", 1);
        ADD_FAILURE() << "a file opened for reading took a write";
    } catch (const FileException& e) {
        EXPECT_NE(e.error(), 0u);
        EXPECT_EQ(e.path(), path);
    }
}

TEST(MemoryFile, GrowsAndHandsOverItsBlock) {
    MemFile memory(1024);
    EXPECT_EQ(memory.detach(), nullptr) << "nothing written, no block";
    std::vector<unsigned char> expected;
    for (int i = 0; i < 3000; ++i) {
        const unsigned char byte = static_cast<unsigned char>(i * 7);
        memory.write(&byte, 1);
        expected.push_back(byte);
    }
    const std::vector<unsigned char> big(5000, 0xAB);
    memory.write(big.data(), big.size());
    expected.insert(expected.end(), big.begin(), big.end());
    ASSERT_EQ(memory.length(), expected.size());
    unsigned char* block = memory.detach();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::vector<unsigned char>(block, block + expected.size()), expected);
    std::free(block);
    EXPECT_EQ(memory.length(), 0u) << "empty after detach";
    memory.write("z", 1);
    EXPECT_EQ(memory.length(), 1u);
}

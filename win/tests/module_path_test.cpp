// Where a module's file is, however long its path, and folders of paths.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/tests/support/temp_dir.h"
#include "win/library.h"
#include "win/module_path.h"
#include "win/path.h"

using namespace cartscope::win;
namespace fs = std::filesystem;

TEST(ModulePath, OfTheProgramAndOfALibraryFarBeyondMaxPath) {
    const std::wstring program = modulePath();
    ASSERT_FALSE(program.empty());
    EXPECT_EQ(fs::path(program).filename(), L"win_tests.exe");
    EXPECT_TRUE(fs::exists(program));

    // Three times the first buffer's length and more: the buffer must grow
    // more than once. The folders are made and removed level by level (the
    // runtime's recursive removal gives up on paths this long).
    cartscope::testing::TempDir dir;
    std::vector<std::wstring> levels;
    std::wstring copy;
    struct Cleanup {
        const std::wstring& copy;
        const std::vector<std::wstring>& levels;
        ~Cleanup() {
            if (!copy.empty()) DeleteFileW(copy.c_str());
            for (auto level = levels.rbegin(); level != levels.rend(); ++level) RemoveDirectoryW(level->c_str());
        }
    } cleanup{copy, levels};
    std::wstring folder = dir.path().wstring();
    while (folder.size() < 3 * MAX_PATH + 20) {
        folder += L"\\" + std::wstring(60, L'd');
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr)) << "error " << GetLastError();
        levels.push_back(folder);
    }
    copy = folder + L"\\empty_module.dll";
    ASSERT_TRUE(CopyFileW(besideModule(nullptr, L"empty_module.dll").c_str(), copy.c_str(), TRUE));
    {
        const Library loaded(copy.c_str());
        ASSERT_TRUE(loaded) << "error " << GetLastError();
        const std::wstring path = modulePath(loaded.get());
        EXPECT_GT(path.size(), 3u * MAX_PATH);
        EXPECT_EQ(path, copy) << "the whole path, not a cut one";
        EXPECT_EQ(besideModule(loaded.get(), L"other.dat"), folder + L"\\other.dat");
    }
}

TEST(FolderOf, EverythingBeforeTheLastSeparator) {
    EXPECT_EQ(folderOf(L"C:\\a\\b.exe"), L"C:\\a");
    EXPECT_EQ(folderOf(L"C:\\b.exe"), L"C:");
    EXPECT_EQ(folderOf(L"C:\\a/b\\c/d.exe"), L"C:\\a/b\\c") << "either separator";
    EXPECT_EQ(folderOf(L"b.exe"), L"");
    EXPECT_EQ(besidePath(L"C:\\a\\b.exe", L"c.dll"), L"C:\\a\\c.dll");
    EXPECT_EQ(besidePath(L"C:/a/b.exe", L"c.dll"), L"C:/a/c.dll");
    EXPECT_EQ(besidePath(L"b.exe", L"c.dll"), L"c.dll");
    EXPECT_EQ(besidePath(L"", L"c.dll"), L"c.dll") << "a module path that could not be had";
}

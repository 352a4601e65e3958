// Registry keys under a scratch key of HKEY_CURRENT_USER that each test
// makes for itself and removes again.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <utility>

#include "win/reg_key.h"

using cartscope::win::deleteTree;
using cartscope::win::RegKey;

namespace {

class RegKeyTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = L"Software\\CartscopeTests\\win-" + std::to_wstring(GetCurrentProcessId());
        deleteTree(HKEY_CURRENT_USER, path_.c_str());
        ASSERT_EQ(scratch.create(HKEY_CURRENT_USER, path_.c_str(), KEY_ALL_ACCESS), ERROR_SUCCESS);
    }
    void TearDown() override {
        scratch.reset();
        deleteTree(HKEY_CURRENT_USER, path_.c_str());
    }

    RegKey scratch;

private:
    std::wstring path_;
};

}  // namespace

TEST_F(RegKeyTest, ValuesComeBackOnlyAsTheTypeTheyWereWritten) {
    ASSERT_EQ(scratch.setString(L"text", L"Cartscope"), ERROR_SUCCESS);
    ASSERT_EQ(scratch.setString(nullptr, L""), ERROR_SUCCESS);
    ASSERT_EQ(scratch.setDword(L"dword", 0xDEADBEEF), ERROR_SUCCESS);
    ASSERT_EQ(scratch.setQword(L"qword", 0x0123456789ABCDEFull), ERROR_SUCCESS);
    const wchar_t expand[] = L"%TEMP%\\x";
    ASSERT_EQ(scratch.setValue(L"expand", REG_EXPAND_SZ, expand, sizeof expand), ERROR_SUCCESS);
    const BYTE shortNumber[] = {1, 2, 3};
    ASSERT_EQ(scratch.setValue(L"short", REG_DWORD, shortNumber, sizeof shortNumber), ERROR_SUCCESS);

    EXPECT_EQ(scratch.readString(L"text"), L"Cartscope") << "without its closing NUL";
    EXPECT_EQ(scratch.readString(nullptr), L"") << "the default value";
    EXPECT_EQ(scratch.readString(L"expand"), L"%TEMP%\\x") << "not expanded";
    EXPECT_EQ(scratch.readDword(L"dword"), 0xDEADBEEFu);
    EXPECT_EQ(scratch.readQword(L"qword"), 0x0123456789ABCDEFull);

    EXPECT_FALSE(scratch.readDword(L"qword"));
    EXPECT_FALSE(scratch.readQword(L"dword"));
    EXPECT_FALSE(scratch.readString(L"dword"));
    EXPECT_FALSE(scratch.readDword(L"short")) << "a DWORD is four bytes";
    EXPECT_FALSE(scratch.readString(L"missing"));

    const auto raw = scratch.readValue(L"short");
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(raw->data, (std::vector<BYTE>{1, 2, 3}));

    EXPECT_EQ(scratch.deleteValue(L"text"), ERROR_SUCCESS);
    EXPECT_FALSE(scratch.readString(L"text"));
}

TEST_F(RegKeyTest, OpenAndCreateBelowARootOrAKeyEvenTheHolderItself) {
    RegKey key;
    EXPECT_EQ(key.open(scratch.get(), L"a\\b", KEY_READ), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(key);
    ASSERT_EQ(key.create(scratch.get(), L"a", KEY_ALL_ACCESS), ERROR_SUCCESS);
    // The holder's own key as the parent of the next one.
    ASSERT_EQ(key.create(key.get(), L"b", KEY_ALL_ACCESS), ERROR_SUCCESS);
    ASSERT_EQ(key.setString(L"where", L"b"), ERROR_SUCCESS);

    RegKey moved(std::move(key));
    EXPECT_FALSE(key);
    EXPECT_EQ(moved.readString(L"where"), L"b") << "still open in the holder it moved to";

    RegKey again;
    ASSERT_EQ(again.open(scratch.get(), L"a\\b", KEY_READ), ERROR_SUCCESS);
    EXPECT_EQ(again.readString(L"where"), L"b");
    EXPECT_EQ(again.open(scratch.get(), L"a\\missing", KEY_READ), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(again) << "a failed open leaves no key, not the one before";
}

TEST_F(RegKeyTest, DeleteSubtreeTakesEverythingBelowAndNothingBeside) {
    RegKey key;
    ASSERT_EQ(key.create(scratch.get(), L"tree\\one\\deep", KEY_ALL_ACCESS), ERROR_SUCCESS);
    ASSERT_EQ(key.setDword(L"value", 1), ERROR_SUCCESS);
    ASSERT_EQ(key.create(scratch.get(), L"tree\\two", KEY_ALL_ACCESS), ERROR_SUCCESS);
    ASSERT_EQ(key.create(scratch.get(), L"tree", KEY_ALL_ACCESS), ERROR_SUCCESS);
    ASSERT_EQ(key.setString(L"own", L"value"), ERROR_SUCCESS);
    ASSERT_EQ(key.create(scratch.get(), L"treeside", KEY_ALL_ACCESS), ERROR_SUCCESS);
    key.reset();

    EXPECT_EQ(scratch.deleteSubtree(L"tree"), ERROR_SUCCESS);
    EXPECT_EQ(key.open(scratch.get(), L"tree", KEY_READ), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key.open(scratch.get(), L"treeside", KEY_READ), ERROR_SUCCESS) << "a sibling with the same beginning";
    EXPECT_EQ(scratch.deleteSubtree(L"tree"), ERROR_FILE_NOT_FOUND) << "nothing left to delete";
}

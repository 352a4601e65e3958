// Owners of handles and libraries.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <utility>

#include "core/tests/support/temp_dir.h"
#include "win/handle.h"
#include "win/library.h"

using cartscope::win::Handle;
using cartscope::win::Library;

namespace {

// The file opened without sharing: while one such handle is open, no other
// can be had.
HANDLE openAlone(const std::filesystem::path& path) {
    return CreateFileW(path.wstring().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

bool canOpenAlone(const std::filesystem::path& path) { return static_cast<bool>(Handle(openAlone(path))); }

}  // namespace

TEST(Handle, ClosesWhatItHoldsExactlyOnce) {
    cartscope::testing::TempDir dir;
    const auto first = dir.path() / "first", second = dir.path() / "second";
    std::ofstream(first) << "1";
    std::ofstream(second) << "2";

    Handle held(openAlone(first));
    ASSERT_TRUE(held);
    EXPECT_FALSE(canOpenAlone(first));
    {
        Handle moved(std::move(held));
        EXPECT_FALSE(held);
        EXPECT_FALSE(canOpenAlone(first)) << "the moved-from holder closed nothing";
    }
    EXPECT_TRUE(canOpenAlone(first)) << "closed with the holder it was moved to";

    Handle a(openAlone(first)), b(openAlone(second));
    a = std::move(b);
    EXPECT_TRUE(canOpenAlone(first)) << "assignment closes the handle held before";
    EXPECT_FALSE(canOpenAlone(second));
    Handle kept(a.release());
    a.reset();
    EXPECT_FALSE(canOpenAlone(second)) << "released: no longer the holder's to close";
    kept.reset();
    EXPECT_TRUE(canOpenAlone(second));

    EXPECT_FALSE(Handle(INVALID_HANDLE_VALUE)) << "what CreateFileW gives for a failure";
    EXPECT_FALSE(Handle(nullptr)) << "what OpenProcess gives for a failure";
}

TEST(Library, LooksUpTypedProcedures) {
    const Library kernel(L"kernel32.dll");
    ASSERT_TRUE(kernel);
    const auto processId = kernel.procedure<DWORD(WINAPI*)()>("GetCurrentProcessId");
    ASSERT_NE(processId, nullptr);
    EXPECT_EQ(processId(), GetCurrentProcessId());
    EXPECT_EQ(kernel.procedure<DWORD(WINAPI*)()>("NoSuchProcedure"), nullptr);
    EXPECT_FALSE(Library(L"no_such_library_anywhere.dll"));
}

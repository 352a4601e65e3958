// Error codes: the rule for exceptions that reach a COM method's edge, and
// the thread's last error.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "win/errors.h"

using cartscope::win::guarded;
using cartscope::win::lastErrorResult;

TEST(Guarded, GivesTheBodysResultOrAnErrorForWhatItThrew) {
    EXPECT_EQ(guarded([] { return S_FALSE; }), S_FALSE);
    EXPECT_EQ(guarded([]() -> HRESULT { throw std::bad_alloc(); }), E_OUTOFMEMORY);
    EXPECT_EQ(guarded([]() -> HRESULT { return static_cast<HRESULT>(std::string().at(1)); }), E_UNEXPECTED)
        << "a standard exception other than bad_alloc";
    EXPECT_EQ(guarded([]() -> HRESULT { throw 42; }), E_UNEXPECTED) << "not an exception class at all";
}

TEST(LastErrorResult, TheThreadsErrorOrAFailureWithoutOne) {
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(lastErrorResult(), E_ACCESSDENIED);
    SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(lastErrorResult(), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(lastErrorResult(), E_FAIL) << "a failure is never reported as success";
}

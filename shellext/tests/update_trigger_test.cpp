// When a new shell object starts the automatic update check.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "shellext/update_trigger.h"

using cartscope::UpdateMode;
using cartscope::shell::checkUpdateTrigger;
using cartscope::shell::interactiveProcess;
using cartscope::shell::UpdateTriggerSources;

namespace {

class UpdateTriggerTest : public ::testing::Test {
protected:
    void SetUp() override { cartscope::shell::resetUpdateTrigger(); }

    UpdateTriggerSources sources() {
        return {[this] {
                    ++modeReads;
                    return mode;
                },
                [this] {
                    ++reads;
                    return lastUpdate;
                },
                [this] { ++starts; }, [this] { return interactive; }};
    }
    bool check(std::int64_t now) { return checkUpdateTrigger(now, sources()); }

    UpdateMode mode = UpdateMode::OnFolderOpen;
    std::uint64_t lastUpdate = 0;
    bool interactive = true;
    std::atomic<int> modeReads{0};
    std::atomic<int> reads{0};
    std::atomic<int> starts{0};
};

constexpr std::int64_t kNow = 1'800'000'000;

}  // namespace

TEST_F(UpdateTriggerTest, NeverCheckedStartsAtMostEveryFiveMinutes) {
    EXPECT_TRUE(check(kNow));
    EXPECT_FALSE(check(kNow + 299));
    EXPECT_FALSE(check(kNow + 300));
    EXPECT_TRUE(check(kNow + 301)) << "the program wrote no last_update";
    EXPECT_EQ(starts, 2);
}

TEST_F(UpdateTriggerTest, OnlyInTheModeOnFolderOpen) {
    for (UpdateMode other :
         {UpdateMode::Manual, UpdateMode::AtWindowsStart, static_cast<UpdateMode>(3), static_cast<UpdateMode>(7)}) {
        mode = other;
        EXPECT_FALSE(check(kNow));
    }
    EXPECT_EQ(starts, 0);
}

TEST_F(UpdateTriggerTest, ADayAfterTheLastRun) {
    lastUpdate = kNow - 86400;
    EXPECT_FALSE(check(kNow)) << "exactly a day: not yet";
    EXPECT_TRUE(check(kNow + 1));
}

TEST_F(UpdateTriggerTest, ARecentRunIsRememberedWithoutReadingAgain) {
    lastUpdate = kNow;
    EXPECT_FALSE(check(kNow + 10));
    EXPECT_EQ(reads, 1);
    for (std::int64_t later : {kNow + 600, kNow + 3600, kNow + 86400}) EXPECT_FALSE(check(later));
    EXPECT_EQ(reads, 1) << "the cached time answers for a day";
    EXPECT_TRUE(check(kNow + 86401));
    EXPECT_EQ(reads, 2);
}

TEST_F(UpdateTriggerTest, ObjectsMadeAtOnceStartOneRun) {
    std::vector<std::thread> threads;
    std::atomic<bool> go{false};
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&] {
            while (!go) std::this_thread::yield();
            check(kNow);
        });
    go = true;
    for (auto& t : threads) t.join();
    EXPECT_EQ(starts, 1);
}

TEST_F(UpdateTriggerTest, NeverFromAProcessNoUserSees) {
    interactive = false;
    for (std::int64_t now : {kNow, kNow + 301, kNow + 86401}) EXPECT_FALSE(check(now));
    EXPECT_EQ(starts, 0);
    EXPECT_EQ(modeReads, 0) << "the settings are not even read";
    EXPECT_EQ(reads, 0);

    // Nothing was remembered of those refusals.
    interactive = true;
    EXPECT_TRUE(check(kNow + 86402));
    EXPECT_EQ(starts, 1);
}

namespace {

struct WindowStationCloser {
    void operator()(HWINSTA station) const { CloseWindowStation(station); }
};

}  // namespace

// The real check. Wine runs its programs in session 1 on the visible window
// station "WinSta0", as Windows runs the programs of a signed-in user, so this
// test program is interactive (run from a Windows service it would not be).
// A window station that a process makes for itself is never visible, on
// Windows as on Wine: moved there, the process no longer counts. The session
// check is not tried for real: a test cannot move itself into session 0.
TEST(InteractiveProcessTest, AWindowStationOfItsOwnIsNotVisible) {
    EXPECT_TRUE(interactiveProcess());
    const HWINSTA visible = GetProcessWindowStation();
    const std::wstring name = L"CartscopeTest" + std::to_wstring(GetCurrentProcessId());
    const std::unique_ptr<std::remove_pointer_t<HWINSTA>, WindowStationCloser> hidden(
        CreateWindowStationW(name.c_str(), 0, WINSTA_ALL_ACCESS, nullptr));
    ASSERT_NE(hidden, nullptr) << GetLastError();
    ASSERT_TRUE(SetProcessWindowStation(hidden.get())) << GetLastError();
    const bool there = interactiveProcess();
    ASSERT_TRUE(SetProcessWindowStation(visible)) << GetLastError();
    EXPECT_FALSE(there);
    EXPECT_TRUE(interactiveProcess()) << "back on the visible one";
}

// When a new shell object starts the automatic update check.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "update_trigger.h"

using cartscope::UpdateMode;
using cartscope::shell::checkUpdateTrigger;
using cartscope::shell::UpdateTriggerSources;

namespace {

class UpdateTriggerTest : public ::testing::Test {
protected:
    void SetUp() override { cartscope::shell::resetUpdateTrigger(); }

    UpdateTriggerSources sources() {
        return {[this] { return mode; },
                [this] {
                    ++reads;
                    return lastUpdate;
                },
                [this] { ++starts; }};
    }
    bool check(std::int64_t now) { return checkUpdateTrigger(now, sources()); }

    UpdateMode mode = UpdateMode::OnFolderOpen;
    std::uint64_t lastUpdate = 0;
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
    for (UpdateMode other : {UpdateMode::Manual, UpdateMode::AtWindowsStart, static_cast<UpdateMode>(3), static_cast<UpdateMode>(7)}) {
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

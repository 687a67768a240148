#include "render/display_lock.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tsl {
namespace {

constexpr uint64_t kFrequency = 10'000'000;
constexpr double kPeriod = 10'000'000.0 / 60.0;  // a synthetic 60 Hz grid, blanks at k x period
constexpr uint64_t kCost = 4'000;                // a tick's work: 0.4 ms

BlankGrid Synthetic60() {
  BlankGrid g;
  g.source = BlankSource::kSynthetic;
  g.period_qpc = kPeriod;
  g.anchor_qpc = 0.0;
  return g;
}

double OffGrid(uint64_t t) {
  const double phase = std::fmod(static_cast<double>(t), kPeriod);
  return std::min(phase, kPeriod - phase);
}

// Ticks that wake on their target, take kCost, and are all presented.
void CleanTicks(DisplayLock& lock, uint64_t& now, int count, uint32_t& id) {
  for (int i = 0; i < count; ++i) {
    uint64_t target = 0;
    uint64_t skipped = 0;
    ASSERT_TRUE(lock.NextTarget(now, target, skipped));
    ASSERT_EQ(skipped, 0u);
    ASSERT_TRUE(lock.InTime(target));
    lock.OnPresented(true, ++id, target, target + kCost);
    now = target + kCost;
  }
}

TEST(DisplayLockTest, TicksFollowThePatternOnTheGridAndTheLeadSettlesAtWhatTheTicksNeed) {
  DisplayLock lock(kFrequency, 30.0);
  uint64_t target = 0;
  uint64_t skipped = 0;
  EXPECT_FALSE(lock.NextTarget(1'000'000'000, target, skipped)) << "no grid: nothing to lock to";
  lock.SetStated(Synthetic60());
  EXPECT_EQ(lock.Status().pattern, "2");
  EXPECT_EQ(lock.Status().source, BlankSource::kSynthetic);

  uint64_t now = 1'000'000'000;
  LockedTick first;
  ASSERT_TRUE(lock.NextTarget(now, target, skipped));
  ASSERT_TRUE(lock.TickAt(target, first));
  EXPECT_LT(OffGrid(first.blank_qpc), 1.0);
  EXPECT_EQ(first.blank_qpc - target, 20'000u) << "a 2 ms lead to start with";
  EXPECT_GE(target, now);
  EXPECT_EQ(first.refreshes, 2u);
  uint32_t id = 0;
  lock.OnPresented(true, ++id, target, target + kCost);
  now = target + kCost;
  uint64_t previous_blank = first.blank_qpc;
  for (int i = 0; i < 50; ++i) {  // every blank two refreshes on, on the grid
    ASSERT_TRUE(lock.NextTarget(now, target, skipped));
    LockedTick tick;
    ASSERT_TRUE(lock.TickAt(target, tick));
    EXPECT_NEAR(static_cast<double>(tick.blank_qpc - previous_blank), 2 * kPeriod, 1.0);
    EXPECT_LE(tick.sample_qpc, tick.target_qpc);
    previous_blank = tick.blank_qpc;
    lock.OnPresented(true, ++id, target, target + kCost);
    now = target + kCost;
  }
  // Clean ticks shorten the lead to the assumed latch (0.5 ms), the work's p99 and a 0.1 ms
  // guard; it never goes below.
  CleanTicks(lock, now, 10'000, id);
  EXPECT_NEAR(lock.Status().lead_ms, 0.5 + 0.4 + 0.1, 0.01);

  // A wake too late to make its blank gives the slot up and lengthens the lead.
  ASSERT_TRUE(lock.NextTarget(now, target, skipped));
  LockedTick tick;
  ASSERT_TRUE(lock.TickAt(target, tick));
  EXPECT_FALSE(lock.InTime(tick.blank_qpc - 9'000 + 1));
  EXPECT_NEAR(lock.Status().lead_ms, 1.5, 0.01);
  // Time that passed whole slots: they are given up, and the pattern goes on where it was.
  now = tick.blank_qpc + static_cast<uint64_t>(3 * 2 * kPeriod);
  ASSERT_TRUE(lock.NextTarget(now, target, skipped));
  EXPECT_EQ(skipped, 3u);
  LockedTick after;
  ASSERT_TRUE(lock.TickAt(target, after));
  EXPECT_NEAR(static_cast<double>(after.blank_qpc - tick.blank_qpc), 4 * 2 * kPeriod, 1.0);
  EXPECT_EQ(lock.Status().slips, 0u);
}

TEST(DisplayLockTest, StatisticsTakeOverTheGridAndALateLandingIsASlipThatTeachesTheLatch) {
  DisplayLock lock(kFrequency, 60.0);
  lock.SetStated(Synthetic60());
  uint64_t now = 1'000'000'000;
  uint32_t id = 0;
  uint32_t refresh = 500;
  // Each present lands at its own blank (an independent flip); the statistics after each tick
  // report it.
  for (int i = 0; i < 40; ++i) {
    uint64_t target = 0;
    uint64_t skipped = 0;
    ASSERT_TRUE(lock.NextTarget(now, target, skipped));
    LockedTick tick;
    ASSERT_TRUE(lock.TickAt(target, tick));
    lock.OnPresented(true, ++id, target, target + kCost);
    FrameStatistics s;
    s.present_count = id;
    s.present_refresh_count = refresh;
    s.sync_refresh_count = refresh;
    s.sync_qpc = tick.blank_qpc;
    lock.OnStatistics(StatisticsRead::kOk, s);
    ++refresh;
    now = tick.blank_qpc;
  }
  EXPECT_EQ(lock.Status().source, BlankSource::kStatistics);
  EXPECT_EQ(lock.Status().slips, 0u);
  // The next one lands a refresh after its blank although it was done 1.6 ms before it.
  uint64_t target = 0;
  uint64_t skipped = 0;
  ASSERT_TRUE(lock.NextTarget(now, target, skipped));
  LockedTick tick;
  ASSERT_TRUE(lock.TickAt(target, tick));
  lock.OnPresented(true, ++id, target, tick.blank_qpc - 16'000);
  FrameStatistics s;
  s.present_count = id;
  s.present_refresh_count = refresh + 1;
  s.sync_refresh_count = refresh + 1;
  s.sync_qpc = tick.blank_qpc + static_cast<uint64_t>(kPeriod);
  lock.OnStatistics(StatisticsRead::kOk, s);
  EXPECT_EQ(lock.Status().slips, 1u);
  // The latch is now at least 1.7 ms: a wake that leaves less than that (and the work) misses.
  ASSERT_TRUE(lock.NextTarget(s.sync_qpc, target, skipped));
  ASSERT_TRUE(lock.TickAt(target, tick));
  EXPECT_GE(lock.Status().lead_ms, 1.7);
  EXPECT_FALSE(lock.InTime(tick.blank_qpc - 17'000 - kCost + 100));
}

TEST(DisplayLockTest, TicksSlowerThanAnyLeadStillRunWhenTheyWakeOnTime) {
  // 12 ms of work a tick against a 60 Hz grid, whose lead can be at most half a refresh: no
  // wake can make its blank. Woken on time the ticks go ahead (and land late); only a wake late
  // past its target is given up.
  DisplayLock lock(kFrequency, 60.0);
  lock.SetStated(Synthetic60());
  uint64_t now = 1'000'000'000;
  uint32_t id = 0;
  for (int i = 0; i < 200; ++i) {
    uint64_t target = 0;
    uint64_t skipped = 0;
    ASSERT_TRUE(lock.NextTarget(now, target, skipped));
    ASSERT_TRUE(lock.InTime(target)) << "tick " << i;
    lock.OnPresented(true, ++id, target, target + 120'000);
    now = target + 120'000;
  }
  uint64_t target = 0;
  uint64_t skipped = 0;
  ASSERT_TRUE(lock.NextTarget(now, target, skipped));
  EXPECT_FALSE(lock.InTime(target + 5'000));
}

}  // namespace
}  // namespace tsl

#include "pacing/display_lock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

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
  // Time that passed whole slots: frames of one length take the next blank the lead can make
  // (any blank starts the pattern as well), one miss counted.
  now = tick.blank_qpc + static_cast<uint64_t>(3 * 2 * kPeriod);
  ASSERT_TRUE(lock.NextTarget(now, target, skipped));
  EXPECT_EQ(skipped, 1u);
  LockedTick after;
  ASSERT_TRUE(lock.TickAt(target, after));
  EXPECT_NEAR(static_cast<double>(after.blank_qpc - tick.blank_qpc), 7 * kPeriod, 1.0);
  EXPECT_EQ(lock.Status().slips, 0u);
}

TEST(DisplayLockTest, AnUnevenPatternKeepsItsPhaseWhenASlotIsGivenUp) {
  DisplayLock lock(kFrequency, 24.0);  // 2-3 on 60 Hz
  lock.SetStated(Synthetic60());
  uint64_t now = 1'000'000'000;
  uint32_t id = 0;
  std::vector<uint64_t> blanks;
  for (int i = 0; i < 12; ++i) {
    uint64_t target = 0;
    uint64_t skipped = 0;
    ASSERT_TRUE(lock.NextTarget(now, target, skipped));
    LockedTick tick;
    ASSERT_TRUE(lock.TickAt(target, tick));
    blanks.push_back(tick.blank_qpc);
    // The sixth tick's wait ends at its blank: it is given up; the next keeps the 2-3 phase.
    const uint64_t after_wait = i == 5 ? tick.blank_qpc : target;
    if (lock.StillInTime(after_wait)) {
      lock.OnPresented(true, ++id, target, after_wait + kCost);
    } else {
      EXPECT_EQ(i, 5);
    }
    now = after_wait + kCost;
  }
  for (size_t i = 1; i < blanks.size(); ++i) {
    const double refreshes = static_cast<double>(blanks[i] - blanks[0]) / kPeriod;
    EXPECT_NEAR(refreshes, std::floor(static_cast<double>(i) * 5.0 / 2.0 + 0.01) - std::floor(0.0),
                0.01)
        << i;
  }
  uint64_t target = 0;
  uint64_t skipped = 0;
  ASSERT_TRUE(lock.NextTarget(now, target, skipped));
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
  // The next one lands a refresh after its blank: done 1.2 ms before it (less than any present
  // that landed), it may have missed, or a compositor may be there. Nothing is learned until a
  // present made at the longest lead lands.
  uint64_t target = 0;
  uint64_t skipped = 0;
  ASSERT_TRUE(lock.NextTarget(now, target, skipped));
  LockedTick tick;
  ASSERT_TRUE(lock.TickAt(target, tick));
  lock.OnPresented(true, ++id, target, tick.blank_qpc - 12'000);
  FrameStatistics s;
  s.present_count = id;
  s.present_refresh_count = refresh + 1;
  s.sync_refresh_count = refresh + 1;
  s.sync_qpc = tick.blank_qpc + static_cast<uint64_t>(kPeriod);
  lock.OnStatistics(StatisticsRead::kOk, s);
  EXPECT_EQ(lock.Status().slips, 0u);
  EXPECT_NEAR(lock.Status().lead_ms, 0.8 * 1000.0 / 60.0, 0.01) << "the probe: the longest lead";
  // The probe lands at its blank: the late one slipped, and the latch is more than 1.2 ms.
  ASSERT_TRUE(lock.NextTarget(s.sync_qpc, target, skipped));
  ASSERT_TRUE(lock.TickAt(target, tick));
  lock.OnPresented(true, ++id, target, target + kCost);
  refresh += 2;
  s.present_count = id;
  s.present_refresh_count = refresh;
  s.sync_refresh_count = refresh;
  s.sync_qpc = tick.blank_qpc;
  lock.OnStatistics(StatisticsRead::kOk, s);
  EXPECT_EQ(lock.Status().slips, 1u);
  EXPECT_NEAR(lock.Status().latch_ms, 1.3, 0.01);
  EXPECT_NEAR(lock.Status().lead_ms, 2.5, 0.01) << "the lead before the probe, one step more";
  ASSERT_TRUE(lock.NextTarget(tick.blank_qpc, target, skipped));
  ASSERT_TRUE(lock.TickAt(target, tick));
  EXPECT_FALSE(lock.InTime(tick.blank_qpc - 13'000 - kCost + 100));
}

// Presents that land a refresh after their blank (a compositor, or a latch longer than assumed)
// and how the lock reads them: only a present made too early to have missed says "compositor";
// what slips taught of the latch halves again over clean stretches.
TEST(DisplayLockTest, OnlyAnEarlyPresentLandingLateSaysCompositorAndTheLatchDecays) {
  struct Row {
    const char* what;
    double latch_us;      // the display's: a present done less than this before misses
    bool composed;        // every present lands a refresh later
    bool told;            // the platform says how each image was composed
    uint64_t most_slips;  // in 40,000 ticks (the slips' lesson decays after 36,000)
    double latch_ms_min;  // what the lock has learned by then
    double latch_ms_max;
    double most_lead_ms;  // the longest lead it ever took
  };
  const Row rows[] = {
      {"independent flip, 0.5 ms latch", 500.0, false, false, 0, 0.0, 0.5, 2.0},
      {"composed, 0.5 ms latch: one probe at the longest lead", 500.0, true, false, 0, 0.0, 0.5,
       13.4},
      {"composed, and the platform says so: no probe", 500.0, true, true, 0, 0.0, 0.5, 2.0},
      {"independent flip, 1.8 ms latch (more than the start lead leaves)", 1800.0, false, false, 4,
       1.6, 2.2, 13.4},
      {"the same, the platform saying direct: no probe", 1800.0, false, true, 4, 1.6, 2.2, 3.0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    DisplayLock lock(kFrequency, 60.0);
    lock.SetStated(Synthetic60());
    uint64_t now = 1'000'000'000;
    uint32_t id = 0;
    const uint32_t first_refresh = 100;
    bool shown_any = false;
    FrameStatistics s;
    if (row.told) s.composition = row.composed ? Composition::kComposed : Composition::kDirect;
    double most_lead_ms = 0.0;
    for (int i = 0; i < 40'000; ++i) {
      uint64_t target = 0;
      uint64_t skipped = 0;
      ASSERT_TRUE(lock.NextTarget(now, target, skipped));
      LockedTick tick;
      ASSERT_TRUE(lock.TickAt(target, tick));
      const uint64_t done = target + kCost;
      lock.OnPresented(true, ++id, target, done);
      const auto refresh_of = [&](uint64_t blank) {
        return first_refresh +
               static_cast<uint32_t>(std::llround((static_cast<double>(blank) - 1e9) / kPeriod));
      };
      uint32_t at = refresh_of(tick.blank_qpc);
      if (static_cast<double>(tick.blank_qpc - done) < row.latch_us * 10.0) ++at;
      if (row.composed) ++at;
      s.present_count = id;
      s.present_refresh_count = at;
      s.sync_refresh_count = at;
      s.sync_qpc = static_cast<uint64_t>(1e9 + (at - first_refresh) * kPeriod);
      lock.OnStatistics(shown_any ? StatisticsRead::kOk : StatisticsRead::kDisjoint, s);
      shown_any = true;
      now = tick.blank_qpc;  // (the statistics of a composed present come a refresh early here)
      most_lead_ms = std::max(most_lead_ms, lock.Status().lead_ms);
    }
    EXPECT_LE(most_lead_ms, row.most_lead_ms);
    EXPECT_LE(lock.Status().slips, row.most_slips);
    EXPECT_GE(lock.Status().latch_ms, row.latch_ms_min);
    EXPECT_LE(lock.Status().latch_ms, row.latch_ms_max);
  }
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

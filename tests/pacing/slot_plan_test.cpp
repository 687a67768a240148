#include "pacing/slot_plan.h"

#include <gtest/gtest.h>

namespace tsl {
namespace {

// A grid of 100-count refreshes with a blank at 0; a tick takes its frame 10 counts before its
// blank. Frame 0 of the slot before, where there is one, is at blank 1000.
TEST(SlotPlanTest, TheNextSlotKeepsThePatternAndNeverMovesToNow) {
  struct Case {
    const char* what;
    double fps_on_60;  // the pattern: --fps on a 60 Hz display
    bool before;       // a slot before, frame 0 at 1000
    double now;
    double last_ready;  // the last present made: when it could first be latched (0: none)
    uint32_t last_sync;
    uint32_t drain;
    uint64_t frame;
    double blank;
    uint64_t given_up;
    bool late;
  };
  const Case cases[] = {
      {"2-3: frame 1 follows frame 0's 2 refreshes", 24.0, true, 1100, 0, 1, 0, 1, 1200, 0, false},
      {"nothing before: the first blank the lead allows", 24.0, false, 1195, 0, 1, 0, 0, 1300, 0,
       false},
      {"a fresh slot lets a held present stay its refreshes", 24.0, false, 1100, 1150, 3, 0, 0,
       1500, 0, false},
      {"... not one of a refresh", 24.0, false, 1100, 1150, 1, 0, 0, 1200, 0, false},
      {"a slot far in the past starts afresh", 24.0, true, 5000, 0, 1, 0, 0, 5100, 0, false},
      {"a queue a refresh too deep: a refresh later, the same frame", 20.0, true, 1100, 0, 1, 1, 1,
       1400, 0, false},
      {"two too deep: two refreshes later", 20.0, true, 1100, 0, 1, 2, 1, 1500, 0, false},
      {"frames of one refresh give a slot up for each refresh", 60.0, true, 1000, 0, 1, 1, 2, 1200,
       1, false},
      {"2-3, its time gone: the next slot of the pattern", 24.0, true, 1195, 0, 1, 0, 2, 1500, 1,
       true},
      {"3 each, its time gone: the next blank will do", 20.0, true, 1295, 0, 1, 0, 2, 1400, 1,
       true},
  };
  BlankGrid grid;
  grid.source = BlankSource::kStatistics;
  grid.period_qpc = 100.0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const RefreshPattern pattern(60.0, c.fps_on_60);
    const SlotPlan plan = PlanSlot(grid, pattern, SlotBefore{c.before, 0, 1000.0},
                                   LastPresent{c.last_ready, c.last_sync}, c.now, 10.0, c.drain);
    EXPECT_EQ(plan.frame, c.frame);
    EXPECT_DOUBLE_EQ(plan.blank, c.blank);
    EXPECT_EQ(plan.given_up, c.given_up);
    EXPECT_EQ(plan.late, c.late);
  }
}

// A 2-3's blanks alternate, its source moments do not: they fall 2.5 refreshes apart, never
// after the take, and with two frames in flight each present holds its image its refreshes.
TEST(SlotPlanTest, ATickSamplesEvenlyAndHoldsItsRefreshes) {
  const RefreshPattern pattern(60.0, 24.0);
  const LockedTick first = TickFor(pattern, 0, 1000.0, 100.0, 10.0, false);
  const LockedTick second = TickFor(pattern, 1, 1200.0, 100.0, 10.0, true);
  EXPECT_EQ(first.target_qpc, 990u);
  EXPECT_EQ(second.target_qpc, 1190u);
  EXPECT_EQ(second.sample_qpc - first.sample_qpc, 250u);
  EXPECT_LE(first.sample_qpc, first.target_qpc);
  EXPECT_LE(second.sample_qpc, second.target_qpc);
  EXPECT_EQ(first.sync_interval, 1u);
  EXPECT_EQ(second.refreshes, 3u);
  EXPECT_EQ(second.sync_interval, 3u);
}

}  // namespace
}  // namespace tsl

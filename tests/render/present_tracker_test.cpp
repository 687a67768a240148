// Presents followed to the screen from constructed swap-chain statistics. One refresh is 1000
// counts; vertical blank n is at count n x 1000. Each case is the sequence of calls the
// presenter makes and what every present must come to.
#include "render/present_tracker.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tsl {
namespace {

struct Step {
  enum Kind { kPresent, kStats, kDisjoint, kUnavailable } kind;
  uint64_t tick = 0;  // kPresent: tick, id = tick + id_base, at `qpc`
  uint32_t sync_interval = 1;
  uint64_t qpc = 0;  // kPresent: when it returned; kStats: the vertical blank's time
  FrameStatistics stats{};
};

Step Present(uint64_t tick, uint64_t qpc, uint32_t sync = 1) {
  return {Step::kPresent, tick, sync, qpc, {}};
}
// Images shown so far, the refresh the newest reached, and vertical blank `sync` at sync x 1000.
Step Stats(uint32_t shown, uint32_t newest_refresh, uint32_t sync) {
  return {Step::kStats, 0, 0, 0, {shown, newest_refresh, sync, uint64_t{sync} * 1000}};
}

struct Outcome {
  uint64_t tick;
  DisplayState state;
  uint32_t refresh = 0;
  uint64_t display_qpc = 0;
  uint32_t refreshes_on_screen = 0;
};

struct Case {
  const char* what;
  std::vector<Step> steps;
  std::vector<Outcome> outcomes;
  double period = 1000.0;
};

TEST(PresentTrackerTest, EveryPresentComesToWhatTheStatisticsSay) {
  using S = DisplayState;
  const Case cases[] = {
      {"steady: each present reaches the next refresh and stays one",
       {Stats(10, 10, 10), Present(1, 10'100), Stats(11, 11, 11), Present(2, 11'100),
        Stats(12, 12, 12), Present(3, 12'100), Stats(13, 13, 13)},
       {{1, S::kShown, 11, 11'000, 1}, {2, S::kShown, 12, 12'000, 1}, {3, S::kShown, 13, 13'000}}},
      {"a missed refresh: the second present reaches the screen one refresh late",
       {Stats(10, 10, 10), Present(1, 10'100), Stats(11, 11, 11), Present(2, 11'100),
        Stats(11, 11, 12), Stats(12, 13, 13)},
       {{1, S::kShown, 11, 11'000, 2}, {2, S::kLate, 13, 13'000}}},
      {"a present made too late for the next refresh is not late",
       {Stats(10, 10, 10), Present(1, 10'100), Stats(11, 11, 11), Present(2, 12'100),
        Stats(12, 13, 13)},
       {{1, S::kShown, 11, 11'000, 2}, {2, S::kShown, 13, 13'000}}},
      {"sync interval 0: a newer present replaces a queued one, which is never shown",
       {Stats(10, 10, 10), Present(1, 10'100, 0), Present(2, 10'600, 0), Stats(11, 11, 11),
        Present(3, 11'100, 0), Stats(12, 12, 12)},
       {{1, S::kNeverShown}, {2, S::kShown, 11, 11'000, 1}, {3, S::kShown, 12, 12'000}}},
      {"queued under vsync: made before the newest image reached the screen, shown after it",
       {Stats(10, 10, 10), Present(1, 10'100), Present(2, 10'200), Stats(11, 11, 11),
        Stats(12, 12, 12)},
       {{1, S::kShown, 11, 11'000, 1}, {2, S::kShown, 12, 12'000}}},
      {"the screen time of an image shown refreshes before the blank the statistics give",
       {Stats(10, 10, 10), Present(1, 10'100), Stats(11, 11, 11), Present(2, 11'100),
        Stats(12, 12, 14)},
       {{1, S::kShown, 11, 11'000, 1}, {2, S::kShown, 12, 12'000}}},
      {"two images between samples: the earlier took the refresh before",
       {Stats(10, 10, 10), Present(1, 10'100), Present(2, 11'100), Stats(12, 12, 12)},
       {{1, S::kShown, 11, 11'000, 1}, {2, S::kShown, 12, 12'000}}},
      {"all-zero statistics say nothing and change nothing",
       {Stats(10, 10, 10), Present(1, 10'100), Stats(0, 0, 0), Stats(11, 11, 11),
        Present(2, 11'100), Stats(0, 0, 0), Stats(12, 12, 12)},
       {{1, S::kShown, 11, 11'000, 1}, {2, S::kShown, 12, 12'000}}},
      {"a disjoint result starts the history over: what came before cannot be placed",
       {Stats(10, 10, 10),
        Present(1, 10'100),
        Stats(11, 11, 11),
        Present(2, 11'100),
        {Step::kDisjoint},
        Stats(500, 40, 40),
        Present(3, 40'100),
        Stats(501, 41, 41),
        Present(4, 41'100),
        Stats(502, 42, 42)},
       {{1, S::kShown, 11, 11'000},
        {2, S::kNotMeasured},
        {3, S::kShown, 41, 41'000, 1},
        {4, S::kShown, 42, 42'000}}},
      {"counts and refreshes wrap at 2^32",
       {{Step::kStats, 0, 0, 0, {0xFFFFFFFE, 0xFFFFFFFE, 0xFFFFFFFE, 10'000}},
        Present(1, 10'100),
        {Step::kStats, 0, 0, 0, {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 11'000}},
        Present(2, 11'100),
        {Step::kStats, 0, 0, 0, {0, 0, 0, 12'000}}},
       {{1, S::kShown, 0xFFFFFFFF, 11'000, 1}, {2, S::kShown, 0, 12'000}}},
      {"no statistics on this platform: every present is not measured, none looks measured",
       {Present(1, 10'100), {Step::kUnavailable}, Present(2, 11'100)},
       {{1, S::kNotMeasured}, {2, S::kNotMeasured}},
       0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PresentTracker tracker;
    for (const Step& step : c.steps) {
      switch (step.kind) {
        case Step::kPresent:
          tracker.OnPresent(step.tick, static_cast<uint32_t>(step.tick + 100), step.sync_interval,
                            step.qpc - 50, step.qpc);
          break;
        case Step::kStats:
          tracker.OnStatistics(StatisticsRead::kOk, step.stats);
          break;
        case Step::kDisjoint:
          tracker.OnStatistics(StatisticsRead::kDisjoint, {});
          break;
        case Step::kUnavailable:
          tracker.OnStatistics(StatisticsRead::kUnavailable, {});
          break;
      }
    }
    const std::vector<DisplayRecord> records = tracker.Records();
    ASSERT_EQ(records.size(), c.outcomes.size());
    for (size_t i = 0; i < records.size(); ++i) {
      const Outcome& o = c.outcomes[i];
      SCOPED_TRACE("tick " + std::to_string(o.tick));
      EXPECT_EQ(records[i].tick, o.tick);
      EXPECT_STREQ(DisplayStateName(records[i].state), DisplayStateName(o.state));
      EXPECT_EQ(records[i].refresh, o.refresh);
      EXPECT_EQ(records[i].display_qpc, o.display_qpc);
      EXPECT_EQ(records[i].refreshes_on_screen, o.refreshes_on_screen);
    }
    EXPECT_EQ(tracker.RefreshPeriodQpc(), c.period);
    EXPECT_EQ(tracker.Measured(), c.period > 0.0);
  }
}

}  // namespace
}  // namespace tsl

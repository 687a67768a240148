// Presents followed to the screen from constructed swap-chain statistics. One refresh is 1000
// counts; vertical blank n is at count n x 1000. A sample names the last present shown by its id
// and the refresh it first reached. Each case is the sequence of calls the presenter makes and
// what every present must come to.
#include "measure/present_tracker.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "measure/frame_age.h"

namespace tsl {
namespace {

struct Step {
  enum Kind { kPresent, kStats, kDisjoint, kUnavailable, kNewChain } kind;
  uint64_t tick = 0;  // kPresent: the tick, made at `qpc` with id `id`
  uint32_t id = 0;
  uint32_t sync_interval = 1;
  uint64_t qpc = 0;
  FrameStatistics stats{};
};

Step Present(uint64_t tick, uint32_t id, uint64_t qpc, uint32_t sync = 1) {
  return {Step::kPresent, tick, id, sync, qpc, {}};
}
// The last present shown, the refresh it first reached, and vertical blank `sync` at sync x 1000.
Step Stats(uint32_t last_shown, uint32_t its_refresh, uint32_t sync) {
  return {Step::kStats, 0, 0, 0, 0, {last_shown, its_refresh, sync, uint64_t{sync} * 1000}};
}
const Step kDisjoint{Step::kDisjoint};
const Step kNewChain{Step::kNewChain};

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
  size_t capacity = 8192;
};

void Feed(PresentTracker& tracker, const std::vector<Step>& steps) {
  for (const Step& step : steps) {
    switch (step.kind) {
      case Step::kPresent:
        tracker.OnPresent(step.tick, step.id, step.sync_interval, step.qpc - 50, step.qpc);
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
      case Step::kNewChain:
        tracker.OnNewSwapChain();
        break;
    }
  }
}

TEST(PresentTrackerTest, EveryPresentComesToWhatTheStatisticsSay) {
  using S = DisplayState;
  const Case cases[] = {
      {"steady: each present reaches the next refresh and stays one",
       {Stats(0, 0, 10), Present(1, 1, 10'100), Stats(1, 11, 11), Present(2, 2, 11'100),
        Stats(2, 12, 12), Present(3, 3, 12'100), Stats(3, 13, 13)},
       {{1, S::kShown, 11, 11'000, 1}, {2, S::kShown, 12, 12'000, 1}, {3, S::kShown, 13, 13'000}}},
      {"a missed refresh: the second present reaches the screen one refresh late",
       {Stats(0, 0, 10), Present(1, 1, 10'100), Stats(1, 11, 11), Present(2, 2, 11'100),
        Stats(1, 11, 12), Stats(2, 13, 13)},
       {{1, S::kShown, 11, 11'000, 2}, {2, S::kLate, 13, 13'000}}},
      {"a present made too late for the next refresh is not late",
       {Stats(0, 0, 10), Present(1, 1, 10'100), Stats(1, 11, 11), Present(2, 2, 12'100),
        Stats(2, 13, 13)},
       {{1, S::kShown, 11, 11'000, 2}, {2, S::kShown, 13, 13'000}}},
      {"queued under vsync: k presents over exactly k refreshes take one each",
       {Stats(0, 0, 10), Present(1, 1, 10'100), Stats(1, 11, 11), Present(2, 2, 11'100),
        Present(3, 3, 11'200), Stats(3, 13, 13)},
       {{1, S::kShown, 11, 11'000, 1}, {2, S::kShown, 12, 12'000, 1}, {3, S::kShown, 13, 13'000}}},
      {"a held image: two presents over three refreshes, which one stayed is not known",
       {Stats(0, 0, 10), Present(1, 1, 10'100), Stats(1, 11, 11), Present(2, 2, 11'100),
        Present(3, 3, 12'100), Stats(3, 14, 14)},
       {{1, S::kShown, 11, 11'000}, {2, S::kUnplaced}, {3, S::kShown, 14, 14'000}}},
      {"sync interval 2: two refreshes each, none late",
       {Stats(0, 0, 10), Present(1, 1, 10'100, 2), Stats(1, 11, 11), Present(2, 2, 11'100, 2),
        Stats(2, 13, 13), Present(3, 3, 13'100, 2), Stats(3, 15, 15)},
       {{1, S::kShown, 11, 11'000, 2}, {2, S::kShown, 13, 13'000, 2}, {3, S::kShown, 15, 15'000}}},
      {"sync interval 2: a run of presents between two samples takes two refreshes each",
       {Stats(0, 0, 10), Present(1, 1, 10'100, 2), Stats(1, 11, 11), Present(2, 2, 11'100, 2),
        Present(3, 3, 11'200, 2), Stats(3, 15, 15)},
       {{1, S::kShown, 11, 11'000, 2}, {2, S::kShown, 13, 13'000, 2}, {3, S::kShown, 15, 15'000}}},
      {"sync interval 0, PresentCount read as ids (three a refresh): presents replaced before "
       "their first blank were never shown",
       {Stats(0, 0, 10), Present(1, 1, 10'100, 0), Present(2, 2, 10'400, 0),
        Present(3, 3, 10'600, 0), Stats(3, 11, 11), Present(4, 4, 11'100, 0), Stats(4, 12, 12)},
       {{1, S::kNeverShown},
        {2, S::kNeverShown},
        {3, S::kShown, 11, 11'000, 1},
        {4, S::kShown, 12, 12'000}}},
      {"sync interval 0 before the reading is known: a count that may be of images places nothing",
       {Stats(0, 0, 10), Present(1, 1, 10'100, 0), Present(2, 2, 10'600, 0), Stats(1, 11, 11)},
       {{1, S::kUnplaced}, {2, S::kPending}}},
      {"the blacks before the first frame and a present not recorded shift nothing",
       {Stats(0, 0, 10), Present(0, 1, 10'100), Present(0, 2, 10'200), Stats(2, 12, 12),
        Present(1, 3, 12'100), Present(2, 5, 13'100), Stats(5, 14, 14)},
       {{0, S::kUnplaced},
        {0, S::kShown, 12, 12'000},
        {1, S::kUnplaced},
        {2, S::kShown, 14, 14'000}}},
      {"a repeated id is no present",
       {Stats(0, 0, 10), Present(1, 1, 10'100), Present(2, 1, 10'200), Stats(1, 11, 11)},
       {{1, S::kShown, 11, 11'000}}},
      {"the screen time of an image shown refreshes before the blank the statistics give",
       {Stats(0, 0, 10), Present(1, 1, 10'100), Stats(1, 11, 11), Present(2, 2, 11'100),
        Stats(2, 12, 14)},
       {{1, S::kShown, 11, 11'000, 1}, {2, S::kShown, 12, 12'000}}},
      {"all-zero statistics say nothing and change nothing",
       {Stats(0, 0, 10), Present(1, 1, 10'100), Stats(0, 0, 0), Stats(1, 11, 11),
        Present(2, 2, 11'100), Stats(0, 0, 0), Stats(2, 12, 12)},
       {{1, S::kShown, 11, 11'000, 1}, {2, S::kShown, 12, 12'000}}},
      {"a disjoint starts the history over: the next sample places its own present only",
       {Stats(0, 0, 10), Present(1, 1, 10'100), Stats(1, 11, 11), Present(2, 2, 11'100),
        Present(3, 3, 11'200), kDisjoint, Stats(3, 41, 41), Present(4, 4, 41'100),
        Stats(4, 42, 42)},
       {{1, S::kShown, 11, 11'000},
        {2, S::kUnplaced},
        {3, S::kShown, 41, 41'000, 1},
        {4, S::kShown, 42, 42'000}}},
      {"a new swap chain: its ids start again and are never matched with the old chain's",
       {Stats(0, 0, 10), Present(1, 1, 10'100), Stats(1, 11, 11), Present(2, 2, 11'100), kNewChain,
        Stats(0, 0, 20), Present(3, 1, 20'100), Stats(1, 21, 21)},
       {{1, S::kShown, 11, 11'000}, {2, S::kNotMeasured}, {3, S::kShown, 21, 21'000}}},
      {"ids and refreshes wrap at 2^32",
       {{Step::kStats, 0, 0, 0, 0, {0xFFFFFFF0, 0xFFFFFFFE, 0xFFFFFFFE, 10'000}},
        Present(1, 0xFFFFFFFF, 10'100),
        {Step::kStats, 0, 0, 0, 0, {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 11'000}},
        Present(2, 0, 11'100),
        {Step::kStats, 0, 0, 0, 0, {0, 0, 0, 12'000}}},
       {{1, S::kShown, 0xFFFFFFFF, 11'000, 1}, {2, S::kShown, 0, 12'000}}},
      {"evicted records: what is kept is still resolved by its id",
       {Stats(0, 0, 10), Present(1, 1, 10'100), Stats(1, 11, 11), Present(2, 2, 11'100),
        Present(3, 3, 11'200), Present(4, 4, 11'300), Present(5, 5, 11'400), Stats(5, 15, 15)},
       {{3, S::kUnplaced}, {4, S::kUnplaced}, {5, S::kShown, 15, 15'000}},
       3},
      {"no statistics on this platform: every present is not measured, none looks measured",
       {Present(1, 1, 10'100), {Step::kUnavailable}, Present(2, 2, 11'100)},
       {{1, S::kNotMeasured}, {2, S::kNotMeasured}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PresentTracker tracker(c.capacity);
    Feed(tracker, c.steps);
    const std::vector<DisplayRecord> records = tracker.Records();
    ASSERT_EQ(records.size(), c.outcomes.size());
    for (size_t i = 0; i < records.size(); ++i) {
      const Outcome& o = c.outcomes[i];
      SCOPED_TRACE("record " + std::to_string(i));
      EXPECT_EQ(records[i].tick, o.tick);
      EXPECT_STREQ(DisplayStateName(records[i].state), DisplayStateName(o.state));
      EXPECT_EQ(records[i].refresh, o.refresh);
      EXPECT_EQ(records[i].display_qpc, o.display_qpc);
      EXPECT_EQ(records[i].refreshes_on_screen, o.refreshes_on_screen);
    }
  }
}

// Sync interval 0 at four presents a refresh: PresentCount read as ids jumps four a refresh,
// which images cannot; read as images it falls ever further behind the ids made.
TEST(PresentTrackerTest, TheDataTellsWhichReadingOfPresentCountHolds) {
  for (const bool ids : {true, false}) {
    SCOPED_TRACE(ids ? "ids" : "images");
    PresentTracker tracker;
    std::vector<Step> steps{Stats(0, 0, 10)};
    uint32_t id = 0;
    for (uint32_t refresh = 10; refresh < 30; ++refresh) {
      for (uint64_t k = 0; k < 4; ++k) {
        ++id;
        steps.push_back(Present(id, id, refresh * 1000 + 100 + k * 200, 0));
      }
      steps.push_back(Stats(ids ? id : refresh - 9, refresh + 1, refresh + 1));
    }
    Feed(tracker, steps);
    EXPECT_EQ(tracker.Reading(),
              ids ? PresentCountReading::kPresentId : PresentCountReading::kImagesShown);
    const std::vector<DisplayRecord> records = tracker.Records();
    if (ids) {
      // Each refresh shows the newest of its four; the other three were replaced.
      size_t shown = 0;
      size_t never = 0;
      for (const DisplayRecord& r : records) {
        shown += r.state == DisplayState::kShown ? 1 : 0;
        never += r.state == DisplayState::kNeverShown ? 1 : 0;
      }
      EXPECT_EQ(shown, 20u);
      EXPECT_EQ(never, 60u);
    } else {
      // Once the reading is known (33 behind, at the eleventh sample), nothing retired is
      // placed: the last count, 20 images, retired ids up to 20.
      EXPECT_EQ(records[10].state, DisplayState::kUnplaced);
      EXPECT_EQ(records[19].state, DisplayState::kUnplaced);
      EXPECT_EQ(records[20].state, DisplayState::kPending);
    }
  }
}

// The newest records, for the overlay; and the frame age: each frame once, at its first
// present (a held re-present and a blank count for nothing), at 1000 counts a millisecond.
TEST(PresentTrackerTest, RecentRecordsAndTheFrameAgeAtTheFirstPresentOfEachFrame) {
  PresentTracker tracker;
  struct Made {
    uint64_t seen, present;
  };
  const Made made[] = {{1000, 3000}, {1000, 19000}, {0, 20000}, {18000, 22000}, {30000, 38000}};
  for (uint32_t i = 0; i < 5; ++i) tracker.OnPresent(i, i + 1, 1, made[i].seen, made[i].present);
  std::vector<DisplayRecord> recent(9);
  tracker.Recent(3, recent);
  ASSERT_EQ(recent.size(), 3u);
  EXPECT_EQ(recent.front().tick, 2u);
  EXPECT_EQ(recent.back().tick, 4u);
  tracker.Recent(50, recent);
  ASSERT_EQ(recent.size(), 5u);
  const FrameAge age = FrameAgeAtPresent(recent, 1'000'000);
  EXPECT_EQ(age.frames, 3u);  // ages 2, 4 and 8 ms
  EXPECT_DOUBLE_EQ(age.p50_ms, 4.0);
  EXPECT_DOUBLE_EQ(age.p99_ms, 4.0);  // rank floor(2 x 0.99) = 1
  EXPECT_EQ(FrameAgeAtPresent({}, 1'000'000).frames, 0u);
  // Until the platform says it has no statistics, the records may yet be measured.
  EXPECT_TRUE(tracker.Measuring());
  tracker.OnStatistics(StatisticsRead::kUnavailable, {});
  EXPECT_FALSE(tracker.Measuring());
  EXPECT_EQ(FrameAgeAtPresent(recent, 0).frames, 0u);
}

}  // namespace
}  // namespace tsl

#include "tick/tick_path.h"

#include <gtest/gtest.h>

#include <vector>

namespace tsl {
namespace {

constexpr uint64_t kFrequency = 10'000'000;
constexpr double kPeriod = 10'000'000.0 / 60.0;

// A source whose frames arrive a refresh apart, each 0.3 ms before the tick would sample it:
// fresher than the frame picker's guard. The output records the version each present asked for.
class ScriptedOutput final : public TickOutput {
 public:
  uint64_t newest = 0;
  uint64_t newest_seen = 0;
  std::vector<uint64_t> asked;

  void WaitUntilReady() override {}
  void Peek(OutputFrame& n, OutputFrame& p) override {
    n = {newest != 0, newest, newest_seen};
    p = {newest > 1, newest - 1, newest_seen - static_cast<uint64_t>(kPeriod)};
  }
  PresentOutcome PresentFrame(uint32_t, uint64_t version, OutputFrame& frame) override {
    asked.push_back(version);
    const uint64_t shown = version < newest ? newest - 1 : newest;
    frame = {true, shown, newest_seen};
    return PresentOutcome::kMade;
  }
  bool LastPresentId(uint32_t& id) override {
    id = static_cast<uint32_t>(asked.size());
    return true;
  }
  StatisticsRead ReadStatistics(FrameStatistics&) override { return StatisticsRead::kUnavailable; }
};

// Locked ticks pick their frame; a tick whose frame was taken for it on request (a sender that
// does not count its frames) shows that frame: it is this tick's, however fresh.
TEST(TickPathTest, LockedTicksPickTheirFrameUnlessItWasTakenForThem) {
  for (const bool taken_for_tick : {false, true}) {
    SCOPED_TRACE(taken_for_tick ? "taken for the tick" : "a counting sender");
    PaceStats stats(kPaceRingCapacity, kFrequency);
    PresentTracker tracker;
    uint64_t now = 1'000'000'000;
    TickPath path(stats, tracker, [&now] { return now; });
    ScriptedOutput output;
    path.Bind(&output);
    DisplayLock lock(kFrequency, 60.0);
    BlankGrid grid;
    grid.source = BlankSource::kSynthetic;
    grid.period_qpc = kPeriod;
    lock.SetStated(grid);
    path.BindLock(&lock);
    for (uint64_t tick = 0; tick < 40; ++tick) {
      uint64_t target = 0;
      uint64_t skipped = 0;
      ASSERT_TRUE(lock.NextTarget(now, target, skipped));
      LockedTick locked;
      ASSERT_TRUE(lock.TickAt(target, locked));
      now = target;
      ++output.newest;
      output.newest_seen = locked.sample_qpc - 3'000;
      path.Run(tick, target, now, 1, [&] { return taken_for_tick; });
      now += 4'000;
    }
    // Once the picker knows the source, a counting sender's frame that fresh waits for the next
    // tick; a frame taken for the tick never does.
    const uint64_t last = output.asked.back();
    if (taken_for_tick) {
      EXPECT_EQ(last, FramePicker::kNewest);
    } else {
      EXPECT_EQ(last, output.newest - 1);
    }
  }
}

}  // namespace
}  // namespace tsl

// Runs the pace controller on the real clock and timer of the platform for a fraction of a
// second. The bounds are generous: these machines are shared, and timing figures belong to the
// benchmark, not to tests.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "base/qpc.h"
#include "pacing/pace_controller.h"

namespace tsl {
namespace {

TEST(PaceControllerSystemTest, TicksFollowTheScheduleOnTheRealTimer) {
  struct Tick {
    uint64_t index, target, wake;
  };
  std::mutex mutex;
  std::vector<Tick> ticks;
  ticks.reserve(1000);
  PaceController controller;
  ASSERT_TRUE(controller.Start(
      200.0,
      [&](uint64_t index, uint64_t target, uint64_t wake) {
        std::lock_guard<std::mutex> guard(mutex);
        if (ticks.size() < ticks.capacity()) ticks.push_back({index, target, wake});
      },
      false, nullptr));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  controller.Stop();

  std::lock_guard<std::mutex> guard(mutex);
  ASSERT_GE(ticks.size(), 10u);
  const uint64_t period = PaceController::PeriodCounts(200.0, base::QpcFrequency());
  for (size_t i = 0; i < ticks.size(); ++i) {
    EXPECT_EQ(ticks[i].index, i);
    // The spin never lets a tick fire before its target.
    EXPECT_GE(ticks[i].wake, ticks[i].target);
    if (i > 0) {
      const uint64_t step = ticks[i].target - ticks[i - 1].target;
      // On the grid unless a resync re-based it (counted as a miss).
      if (step != period) {
        EXPECT_GT(step, period);
      }
    }
  }
}

TEST(PaceControllerSystemTest, StopReturnsLongBeforeAFarTickIsDue) {
  PaceController controller;
  int calls = 0;
  // One tick every ten seconds: a Stop that did not wake the timer would take that long.
  ASSERT_TRUE(controller.Start(
      0.1, [&](uint64_t, uint64_t, uint64_t) { ++calls; }, true, nullptr));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const auto before = std::chrono::steady_clock::now();
  controller.Stop();
  const auto took = std::chrono::steady_clock::now() - before;
  EXPECT_LT(took, std::chrono::seconds(5));
  EXPECT_EQ(calls, 0);
}

TEST(PaceControllerSystemTest, VsyncModeRunsBackToBackWithoutADisplay) {
  PaceController controller;
  std::atomic<int> calls{0};
  std::atomic<bool> equal{true};
  ASSERT_TRUE(controller.Start(
      60.0,
      [&](uint64_t, uint64_t target, uint64_t wake) {
        if (target != wake) equal = false;
        ++calls;
      },
      false, [] { return true; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  controller.Stop();
  // A callback that returns at once is followed by a 2 ms sleep, so ticks neither stop nor spin.
  EXPECT_GE(calls.load(), 5);
  EXPECT_LE(calls.load(), 60);
  EXPECT_TRUE(equal.load());
}

}  // namespace
}  // namespace tsl

#include "pacing/lock_facts.h"

#include <gtest/gtest.h>

namespace tsl {
namespace {

constexpr uint64_t kFreq = 10'000'000;  // one count is 0.1 us

// What the lock's schedule looks like for each latency, pattern and grid: images are held by
// their sync interval only where the swap chain allows one that long, the longest lead is 0.8
// of a refresh but never under 2 ms, and "surely in time" never reaches past it.
TEST(LockFactsTest, HeldImagesLeadsAndCertaintyFollowThePatternAndGrid) {
  struct Case {
    const char* what;
    uint32_t frame_latency;
    double refresh_hz;  // 0: no grid yet
    double fps;
    bool held;
    double ahead_ms, ceiling_ms, surely_ms;
  };
  const Case cases[] = {
      {"one frame in flight, 60 Hz", 1, 60.0, 60.0, false, 0.0, 13.333, 3.0},
      {"two in flight, 2-3 on 60 Hz: a refresh ahead", 2, 60.0, 24.0, true, 16.667, 13.333, 3.0},
      {"two in flight, 6 refreshes a frame: as with one", 2, 144.0, 24.0, false, 0.0, 5.556, 3.0},
      {"240 Hz: the ceiling's 2 ms floor, surely within it", 1, 240.0, 60.0, false, 0.0, 3.333,
       2.667},
      {"no grid yet: 2 ms", 1, 0.0, 60.0, false, 0.0, 2.0, 1.6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BlankGrid grid;
    if (c.refresh_hz > 0.0) {
      grid.source = BlankSource::kStatistics;
      grid.period_qpc = static_cast<double>(kFreq) / c.refresh_hz;
    }
    const RefreshPattern pattern(c.refresh_hz > 0.0 ? c.refresh_hz : 60.0, c.fps);
    const LockFacts f = LockFacts::For(kFreq, c.frame_latency, pattern, grid);
    EXPECT_EQ(f.held_by_interval, c.held);
    EXPECT_NEAR(f.ahead / 1e4, c.ahead_ms, 1e-3);
    EXPECT_NEAR(f.ceiling / 1e4, c.ceiling_ms, 1e-3);
    EXPECT_NEAR(f.surely / 1e4, c.surely_ms, 1e-3);
  }
}

}  // namespace
}  // namespace tsl

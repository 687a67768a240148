#include "pacing/refresh_pattern.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace tsl {
namespace {

TEST(RefreshPatternTest, RatesBecomeRunsOfWholeRefreshes) {
  struct Case {
    double refresh_hz;
    double fps;
    std::vector<uint32_t> first;  // the refreshes of frames 0, 1, ...
    std::string label;
    bool snapped;
  };
  const Case cases[] = {
      {143.98, 72.0, {2, 2, 2, 2}, "2", true},
      {60.0, 24.0, {2, 3, 2, 3}, "2-3", true},
      {60000.0 / 1001.0, 60.0, {1, 1, 1}, "1", true},             // 0.1% off: one refresh each
      {60.0, 25.0, {2, 2, 3, 2, 3, 2, 2, 3, 2, 3}, "2-3", true},  // 12/5
      {60.0, 120.0, {1, 1, 1}, "1", true},  // faster than the display: one refresh is the least
      {144.0, 60.0, {2, 2, 3, 2, 3}, "2-3", true},     // 12/5 too
      {60.0, 23.5, {3, 2, 3, 2, 3, 2}, "2-3", false},  // 2.553: no fraction with q <= 6 fits
      // Rates no caller should pass still make counts that 32 bits hold (UBSan watches).
      {60.0, 1e-9, {1'000'000, 1'000'000}, "1000000", true},
      {60.0, 0.0, {1, 1}, "1", true},
  };
  for (const Case& c : cases) {
    const RefreshPattern pattern(c.refresh_hz, c.fps);
    SCOPED_TRACE(std::to_string(c.fps) + " on " + std::to_string(c.refresh_hz));
    EXPECT_EQ(pattern.Label(), c.label);
    EXPECT_EQ(pattern.Snapped(), c.snapped);
    for (size_t n = 0; n < c.first.size(); ++n) EXPECT_EQ(pattern.RefreshesOf(n), c.first[n]);
    // Over a long run no error piles up: frame n starts within a refresh of n x the ratio, and
    // its evenly spaced moment is never after its start by more than the pattern allows.
    const double ratio = pattern.RefreshesPerFrame();
    for (uint64_t n = 0; n < 100'000; n += 997) {
      EXPECT_LT(std::fabs(static_cast<double>(pattern.StartOf(n)) - n * ratio), 1.0);
      EXPECT_GE(pattern.EvenOffsetOf(n), pattern.Snapped() ? 0.0 : -0.5);
      EXPECT_LE(pattern.EvenOffsetOf(n), pattern.EvenOffsetMost() + 1e-9);
    }
  }
}

// A grid refined as it runs keeps its pattern, also for a rate near the snap's edge; another
// mode makes a new one.
TEST(GridPatternTest, RefitsOnlyWhenThePeriodMoves) {
  const double fps = 24.0;
  const double edge_hz = fps * 2.5 * 1.0049;  // 2-3, just inside the snap
  const double frequency = 1e7;
  GridPattern pattern(static_cast<uint64_t>(frequency), fps);
  EXPECT_EQ(pattern.Label(60.0), "2-3") << "before any grid: the rate's own";
  EXPECT_EQ(pattern.Pattern().RefreshesOf(0), 1u);

  pattern.Follow(frequency / edge_hz);
  EXPECT_TRUE(pattern.Pattern().Snapped());
  pattern.Follow(frequency / (edge_hz * 1.0009));  // a refinement, now past the snap's edge
  EXPECT_TRUE(pattern.Pattern().Snapped());
  pattern.Follow(frequency / (edge_hz * 1.01));  // another mode
  EXPECT_FALSE(pattern.Pattern().Snapped());

  EXPECT_TRUE(pattern.AboveRefresh(23.8));
  EXPECT_FALSE(pattern.AboveRefresh(23.9)) << "within the snap: one frame a refresh";
}

}  // namespace
}  // namespace tsl

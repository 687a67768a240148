#include "pacing/wake_margin.h"

#include <gtest/gtest.h>

#include <vector>

namespace tsl {
namespace {

constexpr uint64_t kFreq = 10'000'000;  // one count is 0.1 us

// Overshoots in microseconds, fed in order; the margin that follows, in microseconds.
struct Case {
  const char* what;
  double period_us;
  std::vector<double> overshoots_us;
  double margin_us;
  WakeMargin::Tail tail = WakeMargin::kTimerTail;
};

std::vector<double> Repeat(double us, size_t n) { return std::vector<double>(n, us); }
std::vector<double> Join(std::vector<double> a, const std::vector<double>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(WakeMarginTest, AHighPercentileOfRecentOvershootsWithinItsBounds) {
  std::vector<double> mostly_late = Repeat(1'500.0, 511);
  mostly_late.push_back(2'800.0);  // the one largest of 512 is above p99.9 and left out
  const Case cases[] = {
      {"too few wakes yet: half a millisecond", 16'667.0, Repeat(2'000.0, 63), 500.0},
      {"a precise timer: the floor", 16'667.0, Repeat(30.0, 512), 200.0},
      {"a timer late by 1.5 ms: that and the guard", 16'667.0, mostly_late, 1'550.0},
      {"never more than 3 ms", 16'667.0, Repeat(10'000.0, 512), 3'000.0},
      {"never more than a quarter period", 4'166.7, Repeat(10'000.0, 512), 1'041.6},
      {"a clean stretch brings it back down", 16'667.0,
       Join(Repeat(2'000.0, 512), Repeat(10.0, 512)), 200.0},
      // One rare late wake long ago: timer mode has forgotten it, the display-locked mode still
      // covers it.
      {"timer mode: a short memory", 16'667.0, Join(Repeat(2'800.0, 1), Repeat(30.0, 16'383)),
       200.0},
      {"locked mode: the rare tail", 16'667.0, Join(Repeat(2'800.0, 1), Repeat(30.0, 16'383)),
       2'850.0, WakeMargin::kLockedTail},
      // Locked mode stays where no overshoot can cost a slot until its long window is full, then
      // comes down only as far as that window allows.
      {"locked mode starts at its ceiling", 16'667.0, Repeat(30.0, 10), 3'000.0,
       WakeMargin::kLockedTail},
      {"locked mode while young: its ceiling", 16'667.0, Repeat(30.0, 16'383), 3'000.0,
       WakeMargin::kLockedTail},
      {"locked mode, its window full: the largest it saw", 16'667.0, Repeat(30.0, 16'384), 200.0,
       WakeMargin::kLockedTail},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WakeMargin margin(kFreq, static_cast<uint64_t>(c.period_us * 10.0), c.tail);
    for (double us : c.overshoots_us) margin.Record(static_cast<int64_t>(us * 10.0));
    EXPECT_NEAR(static_cast<double>(margin.Counts()) / 10.0, c.margin_us, 0.2);
  }
}

}  // namespace
}  // namespace tsl

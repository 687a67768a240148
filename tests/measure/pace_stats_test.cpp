#include "measure/pace_stats.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>
#include <vector>

namespace tsl {
namespace {

constexpr uint64_t kFreq = 10'000'000;  // 1 count = 0.1 us; 10,000 counts = 1 ms

PaceSample Sample(uint64_t tick, uint64_t target, uint64_t wake, uint64_t done, bool hold = false,
                  uint64_t version = 0) {
  return PaceSample{tick, target, wake, done, hold, version};
}

TEST(PaceStatsTest, FewerThanTwoSamplesGiveTheZeroSnapshot) {
  PaceStats stats(kPaceRingCapacity, kFreq);
  for (int recorded = 0; recorded < 2; ++recorded) {
    const PaceSnapshot s = stats.Snapshot();
    EXPECT_EQ(s.samples, 0);
    for (double v : {s.jitter_max_ms, s.jitter_p99_ms, s.interval_min_ms, s.interval_max_ms,
                     s.interval_p1_ms, s.interval_p99_ms, s.interval_mean_ms, s.interval_stddev_ms,
                     s.cb_p99_ms, s.cb_max_ms, s.hold_ratio}) {
      EXPECT_EQ(v, 0.0);
    }
    stats.Record(Sample(0, 100, 150, 900, true, 3));
  }
}

TEST(PaceStatsTest, TwoSamplesHaveOneIntervalAndTheSmallerJitterAsP99) {
  PaceStats stats(kPaceRingCapacity, kFreq);
  stats.Record(Sample(7, 1'000'000, 1'000'500, 1'020'500));        // +0.05 ms, cb 2 ms
  stats.Record(Sample(8, 1'166'666, 1'166'366, 1'206'366, true));  // -0.03 ms, cb 4 ms
  const PaceSnapshot s = stats.Snapshot();
  EXPECT_EQ(s.samples, 2);
  const double interval = (1'166'366.0 - 1'000'500.0) / 10'000.0;
  for (double v : {s.interval_min_ms, s.interval_max_ms, s.interval_mean_ms, s.interval_p1_ms,
                   s.interval_p99_ms}) {
    EXPECT_DOUBLE_EQ(v, interval);
  }
  EXPECT_EQ(s.interval_stddev_ms, 0.0);
  EXPECT_DOUBLE_EQ(s.jitter_p99_ms, 0.03);  // absolute values; the smaller of the two
  EXPECT_DOUBLE_EQ(s.jitter_max_ms, 0.05);
  EXPECT_DOUBLE_EQ(s.cb_p99_ms, 2.0);
  EXPECT_DOUBLE_EQ(s.cb_max_ms, 4.0);
  EXPECT_DOUBLE_EQ(s.hold_ratio, 0.5);
}

// Five ticks with intervals 10, 20, 10, 40 ms (computed by hand: mean 20, population variance
// (100 + 0 + 100 + 400) / 4 = 150).
TEST(PaceStatsTest, HandComputedWindow) {
  PaceStats stats(kPaceRingCapacity, kFreq);
  const uint64_t ms = 10'000;
  const uint64_t wakes[] = {0, 10 * ms, 30 * ms, 40 * ms, 80 * ms};
  const int64_t jitter_counts[] = {-2'000, 500, 0, 12'000, -700};  // -0.2, 0.05, 0, 1.2, -0.07
  const uint64_t cb_counts[] = {30'000, 10'000, 50'000, 20'000, 40'000};
  const bool holds[] = {false, true, true, false, true};
  const uint64_t base = 5'000'000;
  for (int i = 0; i < 5; ++i) {
    const uint64_t wake = base + wakes[i];
    stats.Record(Sample(100 + i, wake - jitter_counts[i], wake, wake + cb_counts[i], holds[i], i));
  }
  const PaceSnapshot s = stats.Snapshot();
  EXPECT_EQ(s.samples, 5);
  EXPECT_DOUBLE_EQ(s.interval_min_ms, 10.0);
  EXPECT_DOUBLE_EQ(s.interval_max_ms, 40.0);
  EXPECT_DOUBLE_EQ(s.interval_mean_ms, 20.0);
  EXPECT_DOUBLE_EQ(s.interval_stddev_ms, std::sqrt(150.0));
  EXPECT_DOUBLE_EQ(s.interval_p1_ms, 10.0);   // k = floor(3 * 0.01) = 0
  EXPECT_DOUBLE_EQ(s.interval_p99_ms, 20.0);  // k = floor(3 * 0.99) = 2: 10, 10, [20], 40
  EXPECT_DOUBLE_EQ(s.jitter_max_ms, 1.2);
  EXPECT_DOUBLE_EQ(s.jitter_p99_ms, 0.2);  // k = 3 of 0, 0.05, 0.07, [0.2], 1.2
  EXPECT_DOUBLE_EQ(s.cb_max_ms, 5.0);
  EXPECT_DOUBLE_EQ(s.cb_p99_ms, 4.0);
  EXPECT_DOUBLE_EQ(s.hold_ratio, 0.6);
}

TEST(PaceStatsTest, PercentileIsTheNearestRankBelowWithoutInterpolation) {
  struct Case {
    size_t m;
    double q;
    size_t rank;
  };
  const Case cases[] = {{100, 0.99, 98}, {8192, 0.99, 8109}, {8191, 0.01, 81},
                        {2, 0.99, 0},    {1, 0.5, 0},        {3, 0.5, 1}};
  std::mt19937 rng(42);
  for (const Case& c : cases) {
    std::vector<double> values(c.m);
    std::iota(values.begin(), values.end(), 1.0);
    std::shuffle(values.begin(), values.end(), rng);
    EXPECT_EQ(PercentileNearestBelow(values, c.q), static_cast<double>(c.rank + 1))
        << "m=" << c.m << " q=" << c.q;
  }
  std::vector<double> empty;
  EXPECT_EQ(PercentileNearestBelow(empty, 0.99), 0.0);
}

TEST(PaceStatsTest, FullRingWindowHoldsTheNewestSamplesOldestFirst) {
  PaceStats stats(kPaceRingCapacity, kFreq);
  for (uint64_t t = 0; t < 10'000; ++t) {
    stats.Record(Sample(t, t * 100, t * 100, t * 100 + 1));
  }
  const std::vector<PaceSample> window = stats.Window();
  ASSERT_EQ(window.size(), kPaceRingCapacity);
  EXPECT_EQ(window.front().tick, 1'808u);
  EXPECT_EQ(window.back().tick, 9'999u);
  for (size_t i = 1; i < window.size(); ++i) {
    EXPECT_EQ(window[i].tick, window[i - 1].tick + 1);
  }
  EXPECT_EQ(stats.Snapshot().samples, 8'192);
}

TEST(PaceStatsTest, ResyncIsOneLongIntervalAndLeavesLaterJitterAlone) {
  PaceStats stats(kPaceRingCapacity, kFreq);
  const uint64_t p = 166'666;
  uint64_t t = 0;
  for (int i = 0; i < 10; ++i, t += p) stats.Record(Sample(i, t, t, t + 100));
  t += 3 * p;  // the schedule lost three periods and re-based
  for (int i = 10; i < 20; ++i, t += p) stats.Record(Sample(i, t, t, t + 100));
  const PaceSnapshot s = stats.Snapshot();
  EXPECT_DOUBLE_EQ(s.interval_max_ms, 4 * p / 10'000.0);
  EXPECT_DOUBLE_EQ(s.interval_min_ms, p / 10'000.0);
  EXPECT_EQ(s.jitter_max_ms, 0.0);
}

TEST(PaceStatsTest, TicksWithoutASourceCountOnlyInTheHoldDenominator) {
  PaceStats stats(kPaceRingCapacity, kFreq);
  // Four ticks with no source frame (hold false, version 0), then a frame shown once and held
  // three times.
  for (int i = 0; i < 4; ++i) stats.Record(Sample(i, i * 10, i * 10, i * 10 + 1, false, 0));
  stats.Record(Sample(4, 40, 40, 41, false, 1));
  for (int i = 5; i < 8; ++i) stats.Record(Sample(i, i * 10, i * 10, i * 10 + 1, true, 1));
  EXPECT_DOUBLE_EQ(stats.Snapshot().hold_ratio, 3.0 / 8.0);
}

TEST(PaceStatsTest, CallbackDurationIsSignedAndVsyncJitterIsZero) {
  PaceStats stats(kPaceRingCapacity, kFreq);
  // A done time before the wake time (a clock oddity) gives a negative duration, not its
  // absolute value.
  stats.Record(Sample(0, 1'000, 1'000, 900));
  stats.Record(Sample(1, 2'000, 2'000, 1'900));
  const PaceSnapshot s = stats.Snapshot();
  EXPECT_DOUBLE_EQ(s.cb_max_ms, -0.01);
  EXPECT_EQ(s.jitter_max_ms, 0.0);
  EXPECT_EQ(s.jitter_p99_ms, 0.0);
}

TEST(PaceStatsTest, RecentCopiesTheNewestSamplesOldestFirst) {
  PaceStats stats(8, 10'000'000);
  std::vector<PaceSample> out;
  stats.Recent(4, out);
  EXPECT_TRUE(out.empty());
  for (uint64_t i = 0; i < 11; ++i) stats.Record({i, 0, 0, 0, false, 0});  // the ring wraps
  stats.Recent(4, out);
  ASSERT_EQ(out.size(), 4u);
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(out[i].tick, 7 + i);
  stats.Recent(100, out);  // no more than the ring holds
  ASSERT_EQ(out.size(), 8u);
  EXPECT_EQ(out.front().tick, 3u);
}

}  // namespace
}  // namespace tsl

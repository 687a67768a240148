#include "pacing/vblank_clock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace tsl {
namespace {

constexpr double kPeriod = 10'000'000.0 / 59.94;  // counts at 10 MHz

BlankGrid Stated(double period, double anchor, BlankSource source = BlankSource::kNominal) {
  BlankGrid g;
  g.source = source;
  g.period_qpc = period;
  g.anchor_qpc = anchor;
  return g;
}

// Reports of a display whose true blanks are `anchor + k x period`, read once per refresh with
// a few counts of noise; every `outlier_every`-th one is 6 ms late (more than a quarter period).
void Report(VblankClock& clock, uint32_t first_refresh, int count, double anchor, double period,
            int outlier_every = 0) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> noise(-20.0, 20.0);
  for (int k = 0; k < count; ++k) {
    double t = anchor + k * period + noise(random);
    if (outlier_every > 0 && k % outlier_every == outlier_every - 1) t += 60'000.0;
    clock.AddReport(first_refresh + static_cast<uint32_t>(k), static_cast<uint64_t>(t));
  }
}

TEST(VblankClockTest, FollowsTheReportedBlanksOverTheStatedGridAndStartsOverWhenTold) {
  VblankClock clock;
  EXPECT_FALSE(clock.Grid().Valid());
  // The stated rate is nominal; the display runs 40 ppm off it and in another phase.
  const double true_period = kPeriod * (1.0 + 40e-6);
  const double true_anchor = 5e9 + 0.3 * kPeriod;
  clock.SetStated(Stated(kPeriod, 5e9));
  EXPECT_EQ(clock.Grid().source, BlankSource::kNominal);

  Report(clock, 100, VblankClock::kEnoughRefreshes - 1, true_anchor, true_period);
  EXPECT_EQ(clock.Grid().source, BlankSource::kNominal) << "too few refreshes to believe";
  VblankClock sparse;  // a report every third refresh: fewer reports, as many refreshes
  sparse.SetStated(Stated(kPeriod, 5e9));
  for (size_t k = 0; k < VblankClock::kEnoughReports; ++k) {
    const auto refresh = static_cast<uint32_t>(100 + 3 * k);
    sparse.AddReport(refresh, static_cast<uint64_t>(true_anchor + 3.0 * k * true_period));
    EXPECT_EQ(sparse.Grid().source, k + 1 < VblankClock::kEnoughReports ? BlankSource::kNominal
                                                                        : BlankSource::kStatistics);
  }
  VblankClock full;
  full.SetStated(Stated(kPeriod, 5e9));
  Report(full, 100, 600, true_anchor, true_period, 10);  // a late report in every ten
  const BlankGrid grid = full.Grid();
  EXPECT_EQ(grid.source, BlankSource::kStatistics);
  EXPECT_NEAR(grid.period_qpc, true_period, 0.05);
  const double later_blank = true_anchor + 1000 * true_period;
  EXPECT_NEAR(grid.Nearest(later_blank + 0.3 * kPeriod), later_blank, 20.0);
  EXPECT_NEAR(grid.AtOrAfter(later_blank + 100.0), later_blank + true_period, 20.0);

  // A disjoint history: back to the stated grid until the reports are enough again; a count
  // that goes back is taken as one too.
  full.RestartReports();
  EXPECT_EQ(full.Grid().source, BlankSource::kNominal);
  Report(full, 100, 600, true_anchor, true_period);
  Report(full, 50, 3, true_anchor + 700 * true_period, true_period);
  EXPECT_EQ(full.Grid().source, BlankSource::kNominal);
}

TEST(VblankClockTest, ReportsThatDisagreeWithTheStatedRateAreNotBelieved) {
  VblankClock clock;
  clock.SetStated(Stated(kPeriod, 0.0, BlankSource::kSynthetic));
  Report(clock, 1, 200, 1e9, kPeriod * 1.2);  // another output's blanks
  EXPECT_EQ(clock.Grid().source, BlankSource::kSynthetic);
  // Nothing stated: the reports alone make the grid.
  VblankClock bare;
  Report(bare, 1, 200, 1e9, kPeriod * 1.2);
  EXPECT_EQ(bare.Grid().source, BlankSource::kStatistics);
  EXPECT_NEAR(bare.Grid().period_qpc, kPeriod * 1.2, 0.1);
}

// A misreport costs that report, not the history: one refresh count in 50 that goes back (to an
// old count) leaves the grid on the statistics; a fitted rate no display runs at (a 10 MHz
// "display" when nothing is stated) is not taken.
TEST(VblankClockTest, AMisreportIsDroppedAndAnImpossibleRateNotTaken) {
  VblankClock clock(10'000'000);
  clock.SetStated(Stated(kPeriod, 0.0));
  size_t on_statistics = 0;
  for (int k = 0; k < 2000; ++k) {
    const auto t = static_cast<uint64_t>(1e9 + k * kPeriod);
    const bool misreport = k % 50 == 49;
    clock.AddReport(misreport ? 7u : 100u + static_cast<uint32_t>(k), t);
    if (k >= 100 && clock.Grid().source == BlankSource::kStatistics) ++on_statistics;
  }
  EXPECT_EQ(on_statistics, 1900u);
  EXPECT_NEAR(clock.Grid().period_qpc, kPeriod, 0.05);

  VblankClock bare(10'000'000);
  for (uint32_t k = 0; k < 200; ++k) bare.AddReport(k, 1'000'000'000 + k);  // a count a blank
  EXPECT_FALSE(bare.Grid().Valid());
}

TEST(VblankClockTest, TheStatedGridComesFromTheBestFactThePlatformGives) {
  struct Case {
    const char* what;
    StatedTiming timing;
    BlankSource source;
    double period;
    double anchor;
  };
  const Case cases[] = {
      {"nominal 60000/1001, the compositor agrees: its phase",
       {60000, 1001, true, 166'834, 5'000'123, 60000, 1001},
       BlankSource::kNominal,
       166'833.33,
       5'000'123},
      {"nominal 144, the compositor follows a 60 Hz monitor: no phase",
       {144, 1, true, 166'667, 5'000'123, 60, 1},
       BlankSource::kNominal,
       69'444.44,
       0},
      {"an emulator's grid: 0/1 nominal, whole 60 Hz, blanks at multiples",
       {0, 1, true, 166'666, 166'666 * 30'000ull, 60, 1},
       BlankSource::kSynthetic,
       166'666,
       166'666 * 30'000.0},
      {"no nominal, a real compositor",
       {0, 0, true, 166'834, 5'000'123, 60000, 1001},
       BlankSource::kCompositor,
       166'834,
       5'000'123},
      {"a nonsense nominal rate falls back to the compositor",
       {1, 1, true, 166'834, 5'000'123, 60000, 1001},
       BlankSource::kCompositor,
       166'834,
       5'000'123},
      {"nothing", {0, 0, false, 0, 0, 0, 0}, BlankSource::kNone, 0, 0},
  };
  for (const Case& c : cases) {
    const BlankGrid grid = StatedGrid(c.timing, 10'000'000);
    EXPECT_EQ(grid.source, c.source) << c.what;
    EXPECT_NEAR(grid.period_qpc, c.period, 0.01) << c.what;
    EXPECT_NEAR(grid.anchor_qpc, c.anchor, 0.5) << c.what;
  }
}

}  // namespace
}  // namespace tsl

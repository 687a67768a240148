#include "pacing/frame_picker.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace tsl {
namespace {

constexpr double kFrequency = 10'000'000.0;

// A source and an output whose clocks differ by some ppm, the source's frames arriving with
// jitter, and the output sampling at even moments. With the newest frame taken at each sample,
// every crossing of the two phases chatters (a skip and a hold in turn while the jitter lasts);
// the picker must move by one frame per sample except for one skip (or one hold) each time the
// phases have drifted by a whole period.
TEST(FramePickerTest, PhasesThatCrossMakeOneSlipPerBeatNotChatter) {
  struct Case {
    const char* what;
    double source_fps;
    double output_fps;
    double start_offset;  // where the first arrival lies in the first sample period, in periods
    double jitter_us;
  };
  const Case cases[] = {
      {"60 on 60, source 200 ppm fast", 60.0 * (1 + 200e-6), 60.0, 0.95, 500.0},
      {"60 on 60, source 200 ppm slow", 60.0 * (1 - 200e-6), 60.0, 0.05, 500.0},
      {"60 on 59.94", 60.0, 60000.0 / 1001.0, 0.9, 500.0},
      {"24 on 24 even moments, 300 ppm fast", 24.0 * (1 + 300e-6), 24.0, 0.97, 800.0},
      {"in phase: arriving right at the samples", 60.0, 60.0, 0.995, 600.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::mt19937_64 random(3);
    std::uniform_real_distribution<double> jitter(0.0, c.jitter_us * 10.0);
    const double source_period = kFrequency / c.source_fps;
    const double output_period = kFrequency / c.output_fps;
    const int samples = 30'000;
    std::vector<uint64_t> arrivals;  // index v - 1
    for (double t = 1e9 + c.start_offset * output_period; t < 1e9 + (samples + 2) * output_period;
         t += source_period) {
      arrivals.push_back(static_cast<uint64_t>(t + jitter(random)));
    }
    FramePicker picker(static_cast<uint64_t>(kFrequency));
    uint64_t shown = 0;
    size_t arrived = 0;
    int skips = 0;
    int holds = 0;
    int turns = 0;  // a skip right after a hold, or the other way round: chatter
    int last_slip = 0;
    int last_slip_at = -1000;
    for (int k = 1; k <= samples; ++k) {
      const auto sample = static_cast<uint64_t>(1e9 + k * output_period);
      while (arrived < arrivals.size() && arrivals[arrived] <= sample) ++arrived;
      if (arrived == 0) continue;
      const uint64_t newest = arrived;
      if (newest >= 2) picker.Seen(newest - 1, arrivals[newest - 2]);
      picker.Seen(newest, arrivals[newest - 1]);
      uint64_t pick = picker.Pick(sample, shown, newest);
      if (pick == FramePicker::kNewest) pick = newest;
      pick = std::min(pick, newest);
      if (shown != 0 && k > 100) {  // after the estimate has settled
        const int slip = pick == shown ? -1 : pick > shown + 1 ? 1 : 0;
        if (slip != 0) {
          slip > 0 ? ++skips : ++holds;
          if (last_slip == -slip && k - last_slip_at < 100) ++turns;
          last_slip = slip;
          last_slip_at = k;
        }
      }
      shown = pick;
    }
    // The beat: how many whole periods the phases drift apart over the run.
    const double beat = samples * std::abs(output_period - source_period) / source_period;
    EXPECT_EQ(turns, 0) << skips << " skips, " << holds << " holds";
    EXPECT_LE(skips + holds, static_cast<int>(beat) + 1) << "beat " << beat;
    EXPECT_GE(skips + holds, static_cast<int>(beat) - 1) << "beat " << beat;
  }
}

}  // namespace
}  // namespace tsl

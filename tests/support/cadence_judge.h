#pragma once

// What a simulated run put on the glass, judged from the simulator's oracle against the pattern
// the rates intend (refresh / fps, or the two whole numbers around it).

#include <vector>

#include "support/display_sim.h"

namespace tsl::sim {

struct CadenceFigures {
  // Output frames (runs of one source frame on the glass) whose number of refreshes is off the
  // pattern, per 10,000 output frames.
  double off_pattern_per_10k = 0.0;
  // Content errors per 10,000 source frames: a source frame skipped, or one left on the glass
  // longer than the pattern allows; and the beat no method avoids, |f_src - f_out|.
  double errors_per_10k = 0.0;
  double beat_per_10k = 0.0;
  // Content errors within 0.5 s of each other counted as one event.
  double judder_per_minute = 0.0;
  // From the tick taking its frame to that present's first blank, and from a source frame's
  // signal to its first blank.
  double take_p50_ms = 0.0, take_p99_ms = 0.0;
  double age_p50_ms = 0.0, age_p99_ms = 0.0;
};

// The q-quantile of the values (NaN for none).
double Percentile(std::vector<double> v, double q);

// The figures of a run of `minutes` at `fps`.
CadenceFigures Judge(const DisplaySim& sim, double fps, double minutes);

}  // namespace tsl::sim

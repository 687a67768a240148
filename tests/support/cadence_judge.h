#pragma once

// What a simulated run put on the glass, judged from the simulator's oracle against the pattern
// the rates intend. The judge has its own copy of the pattern rule (refresh / fps snapped to
// p/q, q at most 6, within 0.5%; else the rounded share with the remainder carried), so that it
// does not take the code under test's word for what the glass should show, and it sees the
// pattern's phase: frame n of a p/q pattern starts p n / q refreshes (rounded down) after the
// first, so a 2,2 or a 3,3 inside a 2-3 pattern is off the pattern though each run's length is
// one the pattern uses.

#include <cstdint>
#include <functional>
#include <vector>

#include "support/display_sim.h"

namespace tsl::sim {

struct CadenceFigures {
  // Output frames (runs of one source frame on the glass) whose number of refreshes is not the
  // one the pattern gives them at their place in it, per 10,000 output frames. After one that
  // is off, the pattern's phase is taken afresh from the runs that follow.
  double off_pattern_per_10k = 0.0;
  // Those left out of that figure: a compositor's hiccup (a present that made its blank, taken
  // a refresh late) keeps the image before on the glass a refresh longer, whatever the program
  // does. Each hiccup answers for at most one run: the one on the glass at the refresh after it.
  double compositor_per_10k = 0.0;
  // Left out as well: a mode change writes off the presents queued for the glass, and the image
  // on it stays until the next present is made and shown, whatever the program does (any
  // display-locked tick has one queued before its blank). The run on the glass then, if off.
  double written_off_per_10k = 0.0;
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
  // Presents that reached the glass later than `on_time_refreshes` after the first blank past
  // their take (slipped), and for each, the refreshes until a present was on time again.
  size_t slips = 0;
  std::vector<double> recovery_refreshes;
  // Of those slips, how many the very next present shown was on time again: there the
  // recovery is the slipped frame's own run on the glass (3 refreshes for the long frames of a
  // 2-3), the least it can be without cutting that run short.
  size_t recovered_at_next = 0;
  // After a mode change: from the change to the last run off the pattern that came within
  // half a second of the one before (or of the change), ms: the end of the change's
  // disturbance, once the new pattern held for half a second (0: none off; negative: no
  // change).
  double relock_ms = -1.0;
};

// The intended pattern at a refresh rate for a requested rate.
struct IntendedPattern {
  IntendedPattern(double refresh_hz, double fps);
  // Refreshes of the pattern's frame n.
  uint32_t Length(uint64_t n) const;

  double ratio = 1.0;  // refreshes per frame, at least 1
  bool snapped = false;
  uint64_t p = 1, q = 1;
  uint32_t shortest = 1, longest = 1;
};

// Runs of one source frame on the glass, oldest first.
struct GlassRun {
  uint64_t version = 0;
  uint32_t length = 0;
  uint64_t first_blank_qpc = 0;
};

// How many of `runs` (the first and last excepted: they may be cut) are off the pattern each
// run's first blank's rate intends (`pattern_at`), judged with the pattern's phase.
// With `off_at`, the first blank of each run judged off.
size_t OffPattern(const std::vector<GlassRun>& runs,
                  const std::function<IntendedPattern(uint64_t blank_qpc)>& pattern_at,
                  std::vector<uint64_t>* off_at = nullptr);

// The q-quantile of the values (NaN for none).
double Percentile(std::vector<double> v, double q);

// The figures of a run of `minutes` at `fps`. A present is on time when it reached the glass no
// more than `on_time_refreshes` after the first blank past its take (0 on an independent flip,
// 1 through the compositor, one more with two frames in flight). Nothing in the first
// `settle_s` seconds is judged.
CadenceFigures Judge(const DisplaySim& sim, double fps, double minutes,
                     uint32_t on_time_refreshes = 0, double settle_s = 0.0);

}  // namespace tsl::sim

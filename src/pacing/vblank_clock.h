#pragma once

#include <cstdint>

#include "pacing/line_fit.h"

namespace tsl {

// Where an estimate of the display's blanks came from, best last.
enum class BlankSource : uint8_t {
  kNone,        // nothing known: no display-locked ticks
  kSynthetic,   // a compositor's grid made up by an emulation layer (whole-number Hz, blanks at
                // multiples of the period): nothing about the real display
  kCompositor,  // the compositor's timing alone (no nominal rate it could be checked against)
  kNominal,     // the display mode's nominal rate, phased by the compositor where it agrees
  kStatistics,  // a regression over the swap chain's own reports of blanks
};

// "none", "synthetic", "compositor", "nominal", "statistics": the spelling the title shows.
const char* BlankSourceName(BlankSource source);

// The blanks as an endless grid: one blank at `anchor_qpc`, the others a period apart.
struct BlankGrid {
  BlankSource source = BlankSource::kNone;
  double period_qpc = 0.0;
  double anchor_qpc = 0.0;

  bool Valid() const { return source != BlankSource::kNone && period_qpc > 0.0; }
  // The blank nearest `t`.
  double Nearest(double t) const;
  // The first blank at or after `t`.
  double AtOrAfter(double t) const;
};

// What the platform says of a display's timing: the mode's nominal refresh (a rational, as the
// display configuration gives it) and the compositor's timing (its period, a blank and its rate).
struct StatedTiming {
  uint32_t nominal_numerator = 0;  // 0: not known (an emulation layer gives 0/1)
  uint32_t nominal_denominator = 0;
  bool compositor = false;  // the compositor's timing was read
  uint64_t compositor_period_qpc = 0;
  uint64_t compositor_blank_qpc = 0;
  uint32_t compositor_rate_numerator = 0;
  uint32_t compositor_rate_denominator = 0;
};

// The grid those facts allow, best first:
// - a nominal rate makes the period, phased by the compositor's blank where its period agrees
//   within 0.5% (the compositor may follow another monitor), else phased nowhere in particular
//   until statistics come ("nominal");
// - without one, the compositor's grid: "synthetic" where it is made up (a whole-number rate and
//   a blank at an exact multiple of the period, as an emulation layer puts it), else
//   "compositor";
// - nothing: no grid.
BlankGrid StatedGrid(const StatedTiming& timing, uint64_t frequency);

// The window's display clock. It starts from the grid the platform states (the nominal rate, the
// compositor's phase) and, once the swap chain has reported enough blanks, follows a regression
// of their times on their refresh counts over the recent reports; reports more than a quarter
// period off the line are left out. A disjoint history (a mode change, a new swap chain) starts
// the regression over; a new monitor starts everything over (SetStated). A report whose refresh
// count goes back is dropped, not the history: only three in a row say the history changed
// without saying so. A fitted rate outside what a display runs at (20 to 1000 Hz) is not taken.
class VblankClock {
 public:
  static constexpr size_t kWindow = 120;  // the recent reports it regresses over
  // Enough to believe: this many reports over at least that many refreshes. Reports come a
  // tick apart, so at 24 frames a second on 72 Hz eight span 24 refreshes in a third of a
  // second, where sixteen would take two thirds: after a mode change or a move that is how long
  // the ticks follow the stated grid alone.
  static constexpr size_t kEnoughReports = 8;
  static constexpr size_t kEnoughRefreshes = 16;
  static constexpr uint32_t kBackwardsToRestart = 3;

  // `frequency`: the counter's, for the fitted rate's range check (0: no check).
  explicit VblankClock(uint64_t frequency = 0) : frequency_(frequency), fit_(kWindow) {}

  // The grid the platform states for the display now (kNone: it states nothing).
  void SetStated(const BlankGrid& stated);
  // A blank the swap chain reported. The same refresh twice is one report.
  void AddReport(uint32_t refresh_count, uint64_t sync_qpc);
  // The reports' history is broken (disjoint statistics): regress from scratch.
  void RestartReports();
  BlankGrid Grid() const { return grid_; }

 private:
  void Refit();

  uint64_t frequency_;
  BlankGrid stated_;
  BlankGrid grid_;
  LineFit fit_;
  uint32_t backwards_ = 0;  // reports in a row whose refresh count went back
  bool haveOrigin_ = false;
  uint32_t originRefresh_ = 0;
  uint64_t originQpc_ = 0;
  uint32_t lastRefresh_ = 0;
};

}  // namespace tsl

#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "pace_report/counter_frequency.h"
#include "pace_report/display_log_reader.h"
#include "pace_report/pace_log_reader.h"

namespace tsl::report {

// Percentiles here follow the program's own rule (nearest rank below: the value at 0-based
// position floor((m - 1) * q) of the sorted list), so p99 matches the title's figure.
struct Distribution {
  double mean = 0.0;
  double stddev = 0.0;  // population form
  double min = 0.0;
  double p1 = 0.0;
  double p50 = 0.0;
  double p99 = 0.0;
  double p999 = 0.0;
  double max = 0.0;
};

// The "lows": the tick rate over the slowest 1% (0.1%) of intervals, that is, the number of
// those intervals over their total duration. k = max(1, floor(intervals x 1%)).
struct Low {
  size_t intervals = 0;  // k
  double rate = 0.0;     // ticks per second
};

// What the display log beside a pace log adds: how old the frames were when presented and shown,
// how long each stayed, and what reached the screen.
struct DisplaySummary {
  bool has_display = false;
  // A source frame's latency: its age (from when the receive thread saw it) at its first present
  // and at its first display; a frame presented again while held does not count again.
  size_t aged_presents = 0;  // source frames whose first present is in the log
  double age_present_p50_ms = 0.0, age_present_p99_ms = 0.0, age_present_max_ms = 0.0;
  size_t aged_displays = 0;  // ... and whose first display time is known
  double age_display_p50_ms = 0.0, age_display_p99_ms = 0.0, age_display_max_ms = 0.0;
  // How long each source frame stayed the newest presented: its first present to the next
  // frame's, where both are in one stretch of ticks.
  size_t held_frames = 0;
  double held_p50_ms = 0.0, held_p99_ms = 0.0, held_max_ms = 0.0;
  bool display_measured = false;  // the platform said what reached the screen
  size_t displayed = 0;           // presents shown (late ones included)
  double displayed_interval_p50_ms = 0.0, displayed_interval_p99_ms = 0.0,
         displayed_interval_max_ms = 0.0;
  size_t late = 0;
  size_t never_shown = 0;
  size_t unplaced = 0;  // left the queue at a time the statistics cannot tell
  double refresh_period_ms = 0.0;
  // Display-locked presents with a known screen time, against the blank each was meant for:
  // reached it (within half a refresh), a refresh later, or later still. Through a compositor
  // every present lands a refresh later by design.
  size_t meant = 0;  // presents the display lock timed against a blank (known screen time or not)
  size_t aimed = 0;
  size_t aimed_on_blank = 0;
  size_t aimed_one_late = 0;
  size_t aimed_later = 0;
  // Per pace-log tick, for the picture: the age the frame it presented had at its first present
  // (NaN where not known).
  std::vector<double> age_series_ms;
  // Per pace-log tick: the refreshes its image stayed on the glass (NaN where not known).
  std::vector<double> refreshes_series;
};

struct PaceReportSummary {
  CounterFrequency frequency;
  size_t ticks = 0;
  uint64_t first_tick = 0;
  uint64_t last_tick = 0;
  size_t gaps = 0;          // gaps in the ticks: the intervals across them are left out
  size_t intervals = 0;     // wake-to-wake intervals counted (ticks - 1 - gaps)
  double duration_s = 0.0;  // the counted intervals added up (first to last wake without gaps)
  double rate = 0.0;        // intervals / duration
  Distribution interval_ms;
  Low low_1;
  Low low_01;
  // Under vsync a tick's target is its wake time, so lateness is not measured: a log whose
  // ticks mostly have target == wake is a vsync log.
  bool vsync = false;
  double jitter_p50_ms = 0.0;  // signed lateness, as the log prints it (timer logs)
  double jitter_p99_ms = 0.0;
  double jitter_max_ms = 0.0;
  double cb_p99_ms = 0.0;
  double cb_max_ms = 0.0;
  size_t holds = 0;
  double hold_percent = 0.0;
  size_t longest_hold_run = 0;
  size_t distinct_versions = 0;  // distinct non-zero source versions
  // Resyncs as the program counts them ("missed" in the title): ticks whose target is not the
  // previous target plus one period, the schedule having been re-based after a tick came more
  // than a period late. Counted between timer ticks only (vsync ticks have no schedule).
  uint64_t period_counts = 0;  // the schedule's period: the commonest target step
  std::vector<uint64_t> resync_ticks;
  // Intervals longer than 1.5 x the median interval: the tick that ended each one.
  std::vector<uint64_t> long_interval_ticks;
  // Per tick, for the pictures: seconds since the first wake, the interval that ended at the
  // tick (NaN for the first tick and after a gap), and its lateness.
  std::vector<double> time_s;
  std::vector<double> interval_series_ms;
  std::vector<double> jitter_series_ms;
  // The counted intervals, ascending (for the histogram and the exceedance curve).
  std::vector<double> sorted_intervals_ms;

  DisplaySummary display;  // from the display log beside the pace log, when there is one
};

// Needs at least two rows and a derived frequency.
PaceReportSummary Summarise(const PaceLog& log, const CounterFrequency& frequency);

// Adds the figures of the display log that belongs to the summarised pace log.
void AddDisplay(PaceReportSummary& s, const PaceLog& log, const std::vector<DisplayRow>& display);

}  // namespace tsl::report

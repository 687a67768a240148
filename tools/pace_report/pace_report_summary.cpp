#include "pace_report/pace_report_summary.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <unordered_set>

#include "base/qpc.h"
#include "measure/pace_stats.h"

namespace tsl::report {

namespace {

// The slowest intervals are the last ones of the ascending list.
Low SlowestRate(const std::vector<double>& sorted, double fraction) {
  Low low;
  if (sorted.empty()) return low;
  low.intervals =
      std::max<size_t>(1, static_cast<size_t>(static_cast<double>(sorted.size()) * fraction));
  double total_ms = 0.0;
  for (size_t i = sorted.size() - low.intervals; i < sorted.size(); ++i) total_ms += sorted[i];
  low.rate = total_ms > 0.0 ? static_cast<double>(low.intervals) * 1000.0 / total_ms : 0.0;
  return low;
}

}  // namespace

namespace {

// One pass over the rows: the per-tick series, holds, source versions and whether it is a vsync
// log; returns the counted intervals (none across a gap) and each tick's callback time in `cb`.
std::vector<double> WalkRows(const std::vector<PaceLogRow>& rows, uint64_t f, PaceReportSummary& s,
                             std::vector<double>& cb) {
  const size_t n = rows.size();
  const uint64_t first_wake = rows.front().sample.wake_qpc;
  std::vector<double> intervals;
  intervals.reserve(n - 1);
  cb.resize(n);
  s.time_s.resize(n);
  s.interval_series_ms.assign(n, std::nan(""));
  s.jitter_series_ms.resize(n);
  std::unordered_set<uint64_t> versions;
  versions.reserve(n);
  size_t run = 0;
  size_t vsync_rows = 0;
  double sum = 0.0;
  for (size_t i = 0; i < n; ++i) {
    const PaceLogRow& r = rows[i];
    cb[i] = r.cb_ms;
    s.time_s[i] = base::QpcDeltaMs(first_wake, r.sample.wake_qpc, f) / 1000.0;
    s.jitter_series_ms[i] = r.jitter_ms;
    if (r.sample.target_qpc == r.sample.wake_qpc) ++vsync_rows;
    // No interval across a gap: the two exports' ticks are not neighbours.
    if (i > 0 && !r.after_gap) {
      const double interval = base::QpcDeltaMs(rows[i - 1].sample.wake_qpc, r.sample.wake_qpc, f);
      intervals.push_back(interval);
      s.interval_series_ms[i] = interval;
      sum += interval;
    }
    if (r.sample.hold) {
      ++s.holds;
      s.longest_hold_run = std::max(s.longest_hold_run, ++run);
    } else {
      run = 0;
    }
    if (r.sample.src_version != 0) versions.insert(r.sample.src_version);
  }
  s.distinct_versions = versions.size();
  s.hold_percent = 100.0 * static_cast<double>(s.holds) / static_cast<double>(n);
  s.vsync = 2 * vsync_rows > n;
  s.duration_s = sum / 1000.0;
  return intervals;
}

// The intervals' distribution, the lows and the long intervals (over 1.5 x the median).
void DescribeIntervals(const std::vector<PaceLogRow>& rows, const std::vector<double>& intervals,
                       PaceReportSummary& s) {
  Distribution& d = s.interval_ms;
  const MeanAndDeviation spread = MeanAndPopulationDeviation(intervals);
  d.mean = spread.mean;
  d.stddev = spread.stddev;
  // One full sort serves every percentile, the lows (from the top) and the median.
  std::vector<double>& sorted = s.sorted_intervals_ms;
  sorted = intervals;
  std::sort(sorted.begin(), sorted.end());
  const auto rank = [&sorted](double q) {
    return sorted[static_cast<size_t>(static_cast<double>(sorted.size() - 1) * q)];
  };
  d.min = sorted.front();
  d.max = sorted.back();
  d.p1 = rank(0.01);
  d.p50 = rank(0.50);
  d.p99 = rank(0.99);
  d.p999 = rank(0.999);
  s.low_1 = SlowestRate(sorted, 0.01);
  s.low_01 = SlowestRate(sorted, 0.001);
  const double long_limit = 1.5 * d.p50;
  for (size_t i = 1; i < rows.size(); ++i) {
    if (s.interval_series_ms[i] > long_limit) s.long_interval_ticks.push_back(rows[i].sample.tick);
  }
}

// The schedule's period is the commonest target step between neighbouring timer ticks (in a
// vsync log, between the few timer ticks there are); a step that differs from it is a re-based
// schedule, one resync, as the program counts it.
void CountResyncs(const std::vector<PaceLogRow>& rows, PaceReportSummary& s) {
  const auto timer_row = [&](size_t i) {
    return !s.vsync || rows[i].sample.target_qpc != rows[i].sample.wake_qpc;
  };
  const auto neighbours = [&](size_t i) {
    return !rows[i].after_gap && timer_row(i) && timer_row(i - 1);
  };
  std::map<uint64_t, size_t> steps;
  for (size_t i = 1; i < rows.size(); ++i) {
    if (neighbours(i)) ++steps[rows[i].sample.target_qpc - rows[i - 1].sample.target_qpc];
  }
  size_t most = 0;
  for (const auto& [step, count] : steps) {
    if (count > most) {
      most = count;
      s.period_counts = step;
    }
  }
  for (size_t i = 1; i < rows.size(); ++i) {
    if (neighbours(i) &&
        rows[i].sample.target_qpc - rows[i - 1].sample.target_qpc != s.period_counts) {
      s.resync_ticks.push_back(rows[i].sample.tick);
    }
  }
}

}  // namespace

PaceReportSummary Summarise(const PaceLog& log, const CounterFrequency& frequency) {
  PaceReportSummary s;
  s.frequency = frequency;
  const size_t n = log.rows.size();
  s.ticks = n;
  s.gaps = log.gaps;
  if (n < 2 || frequency.hz == 0) return s;
  s.first_tick = log.rows.front().sample.tick;
  s.last_tick = log.rows.back().sample.tick;
  std::vector<double> cb;
  const std::vector<double> intervals = WalkRows(log.rows, frequency.hz, s, cb);
  s.intervals = intervals.size();
  if (intervals.empty()) return s;  // every row after a gap: nothing to measure
  s.rate = s.duration_s > 0.0 ? static_cast<double>(intervals.size()) / s.duration_s : 0.0;
  DescribeIntervals(log.rows, intervals, s);
  CountResyncs(log.rows, s);
  // Selection reorders its list: the lateness series stays in tick order for the pictures.
  std::vector<double> jitter(s.jitter_series_ms);
  s.jitter_max_ms = *std::max_element(jitter.begin(), jitter.end());
  s.cb_max_ms = *std::max_element(cb.begin(), cb.end());
  s.jitter_p50_ms = PercentileNearestBelow(jitter, 0.50);
  s.jitter_p99_ms = PercentileNearestBelow(jitter, 0.99);
  s.cb_p99_ms = PercentileNearestBelow(cb, 0.99);
  return s;
}

namespace {

// The median, p99 and largest of `v` (its order changes); nothing for an empty list.
void MedianP99Max(std::vector<double>& v, double& p50, double& p99, double& max) {
  if (v.empty()) return;
  max = *std::max_element(v.begin(), v.end());
  p50 = PercentileNearestBelow(v, 0.50);
  p99 = PercentileNearestBelow(v, 0.99);
}

// Each source frame once: its first present (and its first display) give its latency; a frame
// held over many ticks grows older on each, which is holding, not latency. Also how long each
// frame stayed the newest presented. Returns the ticks of the frames' first presents.
std::vector<uint64_t> FrameAges(const std::vector<DisplayRow>& display, double hz,
                                DisplaySummary& d) {
  std::vector<double> at_present;
  std::vector<double> at_display;
  std::vector<double> held;
  std::vector<uint64_t> first_present_ticks;
  const DisplayRow* first_present = nullptr;  // of the frame presented last
  bool displayed_yet = false;
  const DisplayRow* previous = nullptr;
  for (const DisplayRow& r : display) {
    const bool gap = previous != nullptr && r.tick != previous->tick + 1;
    previous = &r;
    if (gap) first_present = nullptr;
    if (r.published_qpc == 0 || std::isnan(r.age_present_ms)) continue;
    if (first_present == nullptr || r.published_qpc != first_present->published_qpc) {
      if (first_present != nullptr && hz > 0.0) {
        held.push_back(static_cast<double>(static_cast<int64_t>(r.present_done_qpc -
                                                                first_present->present_done_qpc)) *
                       1000.0 / hz);
      }
      first_present = &r;
      displayed_yet = false;
      at_present.push_back(r.age_present_ms);
      first_present_ticks.push_back(r.tick);
    }
    if (!displayed_yet && !std::isnan(r.age_display_ms)) {
      at_display.push_back(r.age_display_ms);
      displayed_yet = true;
    }
  }
  d.aged_presents = at_present.size();
  MedianP99Max(at_present, d.age_present_p50_ms, d.age_present_p99_ms, d.age_present_max_ms);
  d.aged_displays = at_display.size();
  MedianP99Max(at_display, d.age_display_p50_ms, d.age_display_p99_ms, d.age_display_max_ms);
  d.held_frames = held.size();
  MedianP99Max(held, d.held_p50_ms, d.held_p99_ms, d.held_max_ms);
  return first_present_ticks;
}

// What reached the screen: the presents by their fate, and the intervals between images known
// to have followed each other on the screen (the image shown before, while nothing since breaks
// the chain), with the refresh period they show.
void ScreenIntervals(const std::vector<DisplayRow>& display, double hz, DisplaySummary& d) {
  std::vector<double> intervals;
  std::vector<double> periods;
  const DisplayRow* previous_shown = nullptr;
  const DisplayRow* previous_row = nullptr;
  for (const DisplayRow& r : display) {
    const bool shown = r.state == DisplayState::kShown || r.state == DisplayState::kLate;
    d.late += r.state == DisplayState::kLate ? 1 : 0;
    d.never_shown += r.state == DisplayState::kNeverShown ? 1 : 0;
    d.unplaced += r.state == DisplayState::kUnplaced ? 1 : 0;
    if (shown || r.state == DisplayState::kNeverShown || r.state == DisplayState::kUnplaced) {
      d.display_measured = true;
    }
    // Two exports in one file, a stretch whose presents are not measured (no statistics, or a
    // new swap chain), one still pending or unplaced, or an image shown at a time not known:
    // what was on the screen across it cannot be told.
    const bool gap = previous_row != nullptr && r.tick != previous_row->tick + 1;
    previous_row = &r;
    if (gap || r.state == DisplayState::kNotMeasured || r.state == DisplayState::kPending ||
        r.state == DisplayState::kUnplaced || (shown && r.display_qpc == 0)) {
      previous_shown = nullptr;
    }
    if (!shown || r.display_qpc == 0) continue;
    ++d.displayed;
    if (previous_shown != nullptr && hz > 0.0) {
      const double ms =
          static_cast<double>(static_cast<int64_t>(r.display_qpc - previous_shown->display_qpc)) *
          1000.0 / hz;
      intervals.push_back(ms);
      if (previous_shown->refreshes > 0) periods.push_back(ms / previous_shown->refreshes);
    }
    previous_shown = &r;
  }
  MedianP99Max(intervals, d.displayed_interval_p50_ms, d.displayed_interval_p99_ms,
               d.displayed_interval_max_ms);
  if (!periods.empty()) d.refresh_period_ms = PercentileNearestBelow(periods, 0.50);
}

// Display-locked presents against the blanks they were meant for, in refreshes of the period
// the screen showed.
void Aims(const std::vector<DisplayRow>& display, double hz, DisplaySummary& d) {
  for (const DisplayRow& r : display) d.meant += r.meant_blank_qpc != 0 ? 1 : 0;
  if (!(d.refresh_period_ms > 0.0) || !(hz > 0.0)) return;
  for (const DisplayRow& r : display) {
    if (r.meant_blank_qpc == 0 || r.display_qpc == 0) continue;
    const double ms =
        static_cast<double>(static_cast<int64_t>(r.display_qpc - r.meant_blank_qpc)) * 1000.0 / hz;
    const double refreshes = std::round(ms / d.refresh_period_ms);
    ++d.aimed;
    if (refreshes <= 0.0) {
      ++d.aimed_on_blank;
    } else if (refreshes == 1.0) {
      ++d.aimed_one_late;
    } else {
      ++d.aimed_later;
    }
  }
}

// The series in the pace log's tick order, for the pictures: on each tick, the age the frame it
// presented had at its first present (a held frame keeps its latency, it does not grow with the
// hold), and the refreshes its image stayed on the screen.
void TickSeries(const PaceLog& log, const std::vector<DisplayRow>& display,
                const std::vector<uint64_t>& first_present_ticks, DisplaySummary& d) {
  d.age_series_ms.assign(log.rows.size(), std::nan(""));
  d.refreshes_series.assign(log.rows.size(), std::nan(""));
  size_t at = 0;
  size_t f = 0;
  double latency = std::nan("");
  for (size_t i = 0; i < log.rows.size(); ++i) {
    const uint64_t tick = log.rows[i].sample.tick;
    while (at < display.size() && display[at].tick < tick) ++at;
    while (f < first_present_ticks.size() && first_present_ticks[f] < tick) ++f;
    const bool row = at < display.size() && display[at].tick == tick;
    if (row && display[at].refreshes > 0) {
      d.refreshes_series[i] = static_cast<double>(display[at].refreshes);
    }
    if (!row || display[at].published_qpc == 0 || log.rows[i].after_gap) {
      latency = std::nan("");
      if (!row || display[at].published_qpc == 0) continue;
    }
    if (f < first_present_ticks.size() && first_present_ticks[f] == tick) {
      latency = display[at].age_present_ms;
    }
    d.age_series_ms[i] = latency;
  }
}

}  // namespace

void AddDisplay(PaceReportSummary& s, const PaceLog& log, const std::vector<DisplayRow>& display) {
  s.display.has_display = true;
  const double hz = static_cast<double>(s.frequency.hz);
  const std::vector<uint64_t> first_present_ticks = FrameAges(display, hz, s.display);
  ScreenIntervals(display, hz, s.display);
  Aims(display, hz, s.display);
  TickSeries(log, display, first_present_ticks, s.display);
}

}  // namespace tsl::report

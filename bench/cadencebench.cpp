// What the glass shows under each pacing mode, measured on the display simulator
// (tests/support/display_sim.h) with the program's own pace controller and tick path. Every row
// runs over several seeds (8 unless --seeds says otherwise), each with its own phases: where the
// display's first blank falls against the counter, when the source's first frame comes, and (in
// the rows that say so) how far off the stated grid is. No figure rests on one phase crossing.
// Each run is ten simulated minutes unless --minutes says otherwise.
//
// Modes:
//   vsync        ticks back to back, sync interval 1, frame latency 3
//   timer comp   ticks at --fps, sync interval 0, through the compositor
//   timer flip   the same on an independent flip (no compositor refresh; tearing not modelled)
//   locked       the display-locked mode, one frame in flight (--latency 1), comp or flip
//   smooth       the display-locked mode, two frames in flight (--latency 2), comp or flip
//
// Baseline rows: five rate pairs, every mode. The simulator's parameters there: a display off
// the counter by -15 ppm that walks by 0.02 ppm a refresh, blanks reported within 2 us; a 0.5 ms
// latch counted from the present call (no GPU time); the stated grid exactly on the blanks; a
// source off by +10 ppm with 0.5 ms of publish jitter; timer wakes late by up to 30 us, with
// outliers of 0.5 to 3 ms at 2 per 10,000; 0.3 ms of draw and 0.1 ms of present.
//
// Adversarial rows (the display-locked modes; the baseline's parameters otherwise):
//   costs        draw, present and GPU work (0.3 ms) with a lognormal tail (sigma 0.5), the latch
//                counted from the GPU's completion, and stalls of 2 to 5 ms in 1 of 1,000 draws
//   latch        the display's latch anywhere from 0.3 to 1.5 ms (the lock assumes 0.5 ms)
//   hiccups      the compositor takes a present a refresh late at 2 in 1,000 blanks
//   stated off   the stated grid off the blanks by a random phase, or (odd seeds) none at all
//   60->144      the display's mode changes from 60 to 144 Hz after 30 s
//   move         after 30 s the window moves to a 72 Hz monitor whose blanks fall at a random
//                phase against the old ones (the platform states the new monitor's grid)
//
// Figures per row, the mean over its seeds, [the 95% interval of that mean], and the worst seed:
//   off-pattern   output frames (runs of one source frame on the glass) off the pattern at their
//                 place in it (tests/support/cadence_judge.h), per 10,000 output frames, less
//                 those a compositor's hiccup held (no program can show a present the
//                 compositor has not taken): those are the last column's "compositor's", per
//                 10,000 output frames, each hiccup answering for at most one frame; and less
//                 the one a mode change held by writing off the present queued to replace it
//                 (any locked tick has one queued before its blank): "written off"
//   beat          the source frames the rates' difference must skip or repeat, per 10,000
//   judder/min    content errors (a source frame skipped, or one held past the pattern) within
//                 0.5 s of each other counted as one event, per minute
//   take p99      from the tick taking its frame to that present's first blank, ms
//   age p99       from a source frame's signal to its first blank on the glass, ms
//   spin          the pace thread's spin before each target, per tick, us
// and for the locked modes the refreshes from a slipped present back to an on-time one (p99);
// under the rows, how many of the adversarial rows' slips with one frame in flight were on time
// again at the very next present.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "measure/present_tracker.h"
#include "pace_report/pace_log_reader.h"
#include "support/cadence_judge.h"
#include "support/display_sim.h"

namespace {

using tsl::sim::DisplaySim;

struct Mode {
  const char* name;
  bool vsync;
  uint32_t locked_latency;  // 0: not locked
  bool composed;
};

struct Rates {
  double fps;
  double refresh_hz;
  const char* label;
};

enum class Adversity { kNone, kCosts, kLatch, kHiccups, kStatedOff, kModeChange, kMove };

const char* AdversityName(Adversity a) {
  switch (a) {
    case Adversity::kCosts:
      return "costs";
    case Adversity::kLatch:
      return "latch";
    case Adversity::kHiccups:
      return "hiccups";
    case Adversity::kStatedOff:
      return "stated off";
    case Adversity::kModeChange:
      return "60->144";
    case Adversity::kMove:
      return "move";
    case Adversity::kNone:
      break;
  }
  return "baseline";
}

struct Summary {
  double mean = 0.0, half_interval = 0.0, worst = 0.0;
};

Summary Summarise(const std::vector<double>& v) {
  Summary s;
  if (v.empty()) return s;
  double sum = 0.0;
  for (double x : v) sum += x;
  s.mean = sum / static_cast<double>(v.size());
  double var = 0.0;
  for (double x : v) var += (x - s.mean) * (x - s.mean);
  if (v.size() > 1) var /= static_cast<double>(v.size() - 1);
  s.half_interval = 1.96 * std::sqrt(var / static_cast<double>(v.size()));
  s.worst = *std::max_element(v.begin(), v.end());
  return s;
}

struct RowResult {
  Summary off, compositor, written_off, take_p99, age_p99, judder, spin, relock;
  double beat = 0.0;
  std::vector<double> recoveries;
  size_t recovered_at_next = 0;
};

struct Options {
  double minutes = 10.0;
  int seeds = 8;
  std::string rows;  // only the rows of this group ("baseline", "costs", ...); empty: all
  std::vector<double> replay_us;
};

// `row_seed` names the row: its runs take seeds from it, so a row gives the same figures whether
// it runs alone (--rows) or among the others.
RowResult RunRow(const Rates& r, const Mode& m, Adversity adversity, const Options& o,
                 uint64_t row_seed) {
  std::vector<double> off, compositor, written_off, take, age, judder, spin, relock;
  RowResult row;
  for (int k = 0; k < o.seeds; ++k) {
    const uint64_t seed = row_seed * 1000 + static_cast<uint64_t>(k);
    std::mt19937_64 phases(seed * 7919 + 17);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    tsl::sim::DisplayParams display;
    display.refresh_hz = r.refresh_hz;
    display.ppm = -15.0;
    display.ppm_walk = 0.02;
    display.composed = m.composed;
    display.waitable = m.locked_latency > 0;
    display.frame_latency = std::max<uint32_t>(1, m.locked_latency);
    display.phase = unit(phases);
    tsl::sim::SourceParams source;
    source.fps = r.fps;
    source.ppm = 10.0;
    source.jitter_us = 500.0;
    source.start_s = unit(phases) / r.fps;
    tsl::sim::PaceParams pace;
    pace.outlier_rate = 2e-4;
    pace.wake_late_replay_us = o.replay_us;
    switch (adversity) {
      case Adversity::kCosts:
        pace.cost_sigma = 0.5;
        pace.gpu_us = 300.0;
        pace.stall_rate = 1e-3;
        break;
      case Adversity::kLatch:
        display.latch_us = 300.0 + 1200.0 * unit(phases);
        break;
      case Adversity::kHiccups:
        display.hiccup_rate = 2e-3;
        break;
      case Adversity::kStatedOff:
        display.stated_phase_error = unit(phases);
        if (k % 2 == 1) display.stated = tsl::BlankSource::kNone;
        break;
      case Adversity::kModeChange:
        display.disjoint_at_s = 30.0;
        display.mode_change_hz = 144.0;
        break;
      case Adversity::kMove:
        display.disjoint_at_s = 30.0;
        display.mode_change_hz = 72.0;
        display.move_phase = unit(phases);
        break;
      case Adversity::kNone:
        break;
    }
    DisplaySim sim(display, source, pace, seed, o.minutes * 60.0);
    tsl::PaceStats stats(tsl::kPaceRingCapacity);
    tsl::PresentTracker tracker;
    double spun = 0.0;
    if (m.locked_latency > 0) {
      tsl::CadenceStatus status;
      spun = tsl::sim::RunLockedTicks(sim, r.fps, stats, tracker, status, m.locked_latency);
    } else {
      spun = tsl::sim::RunTicks(sim, r.fps, m.vsync, m.vsync ? 1 : 0, stats, tracker);
    }
    const uint32_t on_time =
        (m.composed ? 1u : 0u) + (m.locked_latency > 1 ? m.locked_latency - 1 : 0u);
    const tsl::sim::CadenceFigures f = tsl::sim::Judge(sim, r.fps, o.minutes, on_time);
    off.push_back(f.off_pattern_per_10k);
    compositor.push_back(f.compositor_per_10k);
    written_off.push_back(f.written_off_per_10k);
    take.push_back(f.take_p99_ms);
    age.push_back(f.age_p99_ms);
    judder.push_back(f.judder_per_minute);
    spin.push_back(spun);
    if (f.relock_ms >= 0.0) relock.push_back(f.relock_ms);
    row.beat = f.beat_per_10k;
    row.recoveries.insert(row.recoveries.end(), f.recovery_refreshes.begin(),
                          f.recovery_refreshes.end());
    row.recovered_at_next += f.recovered_at_next;
  }
  row.off = Summarise(off);
  row.compositor = Summarise(compositor);
  row.written_off = Summarise(written_off);
  row.take_p99 = Summarise(take);
  row.age_p99 = Summarise(age);
  row.judder = Summarise(judder);
  row.spin = Summarise(spin);
  row.relock = Summarise(relock);
  return row;
}

bool ReadWakeLog(const std::string& path, std::vector<double>& replay_us) {
  tsl::report::PaceLog log;
  std::string error;
  if (!tsl::report::ReadPaceLog(path, path, log, error)) {
    std::fprintf(stderr, "cadencebench: %s\n", error.c_str());
    return false;
  }
  for (const tsl::report::PaceLogRow& row : log.rows) {
    if (row.sample.target_qpc != row.sample.wake_qpc) replay_us.push_back(row.jitter_ms * 1e3);
  }
  if (replay_us.empty()) {
    std::fprintf(stderr,
                 "cadencebench: %s has no timer wakes to replay (a vsync log: every tick's "
                 "target is its wake)\n",
                 path.c_str());
    return false;
  }
  return true;
}

void PrintRow(const Rates& r, const Mode& m, Adversity a, const RowResult& row) {
  std::string recovery = "-";
  if (m.locked_latency > 0 && !row.recoveries.empty()) {
    char text[48];
    std::snprintf(text, sizeof text, "%zu, p99 %.0f", row.recoveries.size(),
                  tsl::sim::Percentile(row.recoveries, 0.99));
    recovery = text;
  }
  // The runs the display held, where it held any.
  const auto held = [&recovery](const char* by, const Summary& s) {
    if (s.worst <= 0.0) return;
    char text[64];
    std::snprintf(text, sizeof text, "; %s %.1f", by, s.mean);
    recovery += text;
  };
  held("compositor's", row.compositor);
  held("written off", row.written_off);
  if (a == Adversity::kModeChange || a == Adversity::kMove) {
    char text[64];
    std::snprintf(text, sizeof text, "; relocked %.0f ms (worst %.0f)", row.relock.mean,
                  row.relock.worst);
    recovery += text;
  }
  std::printf(
      "%-10s %-13s %-11s %6.1f [%5.1f] %6.1f %6.1f %6.2f %6.2f %7.2f %7.2f %7.2f %7.2f %7.0f  "
      "%s\n",
      AdversityName(a), r.label, m.name, row.off.mean, row.off.half_interval, row.off.worst,
      row.beat, row.judder.mean, row.judder.worst, row.take_p99.mean, row.take_p99.worst,
      row.age_p99.mean, row.age_p99.worst, row.spin.mean, recovery.c_str());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  std::string wake_log;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--minutes" && i + 1 < argc) {
      o.minutes = std::atof(argv[++i]);
    } else if (arg == "--seeds" && i + 1 < argc) {
      o.seeds = std::atoi(argv[++i]);
    } else if (arg == "--rows" && i + 1 < argc) {
      o.rows = argv[++i];
    } else if (arg == "--wake-log" && i + 1 < argc) {
      wake_log = argv[++i];
    } else {
      std::fprintf(stderr,
                   "usage: cadencebench [--minutes M] [--seeds N] [--rows GROUP] "
                   "[--wake-log PACE_LOG]\n");
      return 2;
    }
  }
  if (!wake_log.empty() && !ReadWakeLog(wake_log, o.replay_us)) return 2;
  if (!(o.minutes > 0.0) || o.seeds < 2) {
    std::fprintf(stderr, "cadencebench: --minutes must be above 0 and --seeds at least 2\n");
    return 2;
  }
  const Rates rates[] = {{60.0, 60.0, "60 on 60.000"},
                         {60.0, 60000.0 / 1001.0, "60 on 59.940"},
                         {60.0, 120.0, "60 on 120"},
                         {72.0, 143.98, "72 on 143.98"},
                         {24.0, 60.0, "24 on 60"}};
  const Mode modes[] = {{"vsync", true, 0, true},        {"timer comp", false, 0, true},
                        {"timer flip", false, 0, false}, {"locked comp", true, 1, true},
                        {"locked flip", true, 1, false}, {"smooth comp", true, 2, true},
                        {"smooth flip", true, 2, false}};

  std::printf("cadencebench: %.1f simulated minutes a run, %d seeds a row", o.minutes, o.seeds);
  if (!o.replay_us.empty()) {
    std::printf("; timer wakes late as the %zu ticks of %s, p99 %.1f us", o.replay_us.size(),
                wake_log.c_str(), tsl::sim::Percentile(o.replay_us, 0.99));
  }
  std::printf("\n\n%-10s %-13s %-11s %22s %6s %13s %15s %15s %7s  %s\n", "rows", "rates", "mode",
              "off-pattern per 10k", "beat", "judder/min", "take p99 ms", "age p99 ms", "spin us",
              "recoveries");
  std::printf("%-10s %-13s %-11s %22s %6s %13s %15s %15s %7s\n", "", "", "", "mean [95%] worst", "",
              "mean worst", "mean worst", "mean worst", "/tick");
  double worst[3] = {0.0, 0.0, 0.0};  // vsync, timer, locked: the worst row's mean
  double take_flip = 0.0;
  uint64_t row_seed = 0;  // counts every row, run or not
  const auto wanted = [&o](Adversity a) { return o.rows.empty() || o.rows == AdversityName(a); };
  for (const Rates& r : rates) {
    for (const Mode& m : modes) {
      ++row_seed;
      if (!wanted(Adversity::kNone)) continue;
      const RowResult row = RunRow(r, m, Adversity::kNone, o, row_seed);
      PrintRow(r, m, Adversity::kNone, row);
      if (m.locked_latency == 1 || m.locked_latency == 0) {
        double& w = worst[m.locked_latency == 1 ? 2 : m.vsync ? 0 : 1];
        w = std::max(w, row.off.mean);
      }
      if (m.locked_latency == 1 && !m.composed) take_flip = std::max(take_flip, row.take_p99.mean);
    }
  }
  std::printf("\n");
  const Rates adversarial_rates[] = {rates[0], rates[3], rates[4]};
  const Rates change_rates[] = {{60.0, 60.0, "60 then 144"}, {24.0, 60.0, "24, 60->144"}};
  const Rates move_rates[] = {{60.0, 60.0, "60, to 72"}, {24.0, 60.0, "24, to 72"}};
  const Adversity adversities[] = {Adversity::kCosts,      Adversity::kLatch,
                                   Adversity::kHiccups,    Adversity::kStatedOff,
                                   Adversity::kModeChange, Adversity::kMove};
  double worst_locked = 0.0;
  double worst_smooth = 0.0;
  std::vector<double> recoveries;
  size_t recovered_at_next = 0;
  for (const Adversity a : adversities) {
    const bool change = a == Adversity::kModeChange || a == Adversity::kMove;
    const size_t count = change ? 2 : 3;
    for (size_t i = 0; i < count; ++i) {
      const Rates& r = a == Adversity::kModeChange ? change_rates[i]
                       : a == Adversity::kMove     ? move_rates[i]
                                                   : adversarial_rates[i];
      for (const Mode& m : modes) {
        if (m.locked_latency == 0) continue;
        ++row_seed;
        if (!wanted(a)) continue;
        const RowResult row = RunRow(r, m, a, o, row_seed);
        PrintRow(r, m, a, row);
        double& w = m.locked_latency == 1 ? worst_locked : worst_smooth;
        w = std::max(w, row.off.mean);
        if (m.locked_latency == 1) {
          recoveries.insert(recoveries.end(), row.recoveries.begin(), row.recoveries.end());
          recovered_at_next += row.recovered_at_next;
        }
      }
    }
  }
  if (!recoveries.empty()) {
    // A slip recovered at the very next present takes the slipped frame's own run: 3
    // refreshes for the long frames of a 2-3, which the p99 below shows.
    std::printf(
        "\nrecoveries, one frame in flight, adversarial rows: %zu, at the next present %zu "
        "(%.1f%%)\n",
        recoveries.size(), recovered_at_next,
        100.0 * static_cast<double>(recovered_at_next) / static_cast<double>(recoveries.size()));
  }
  std::printf(
      "\ncadence: vsync off-pattern %.1f per 10k, timer off-pattern %.1f per 10k, locked "
      "off-pattern %.1f per 10k, adversarial locked off-pattern %.1f per 10k, smooth adversarial "
      "off-pattern %.1f per 10k, take-to-glass p99 %.2f ms flip, recovery p99 %.0f refreshes\n",
      worst[0], worst[1], worst[2], worst_locked, worst_smooth, take_flip,
      recoveries.empty() ? 0.0 : tsl::sim::Percentile(recoveries, 0.99));
  return 0;
}

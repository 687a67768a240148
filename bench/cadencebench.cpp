// What the glass shows under each pacing mode, measured on the display simulator
// (tests/support/display_sim.h) with the program's own pace controller and tick path: for each
// source rate on each display, ten simulated minutes (unless --minutes says otherwise) of
//   vsync        today's vsync mode: ticks back to back, sync interval 1, frame latency 3
//   timer comp   today's timer mode: ticks at --fps, sync interval 0, through the compositor
//   timer flip   the same on an independent flip (no compositor refresh; tearing not modelled)
// and prints per run, from the simulator's oracle:
//   off-pattern   output frames (runs of one source frame on the glass) whose number of
//                 refreshes is not the one the rates intend (refresh / fps, or the two whole
//                 numbers around it), per 10,000 output frames
//   errors        content errors per 10,000 source frames: a source frame skipped, or one left
//                 on the glass longer than the pattern allows; beside it the beat no method
//                 avoids, |f_src - f_out| per 10,000 source frames
//   judder/min    content errors within 0.5 s of each other counted as one event, per minute
//   take-glass    from the tick taking its frame to that present's first blank, p50/p99 ms
//   age           from a source frame's signal to its first blank on the glass, p50/p99 ms
// The last line gives, per mode, the worst off-pattern figure of its runs.
//
// The simulator's parameters say what they assume: a display off the counter by -15 ppm that
// walks by 0.02 ppm a refresh, blanks reported within 2 us; a 0.5 ms latch deadline; a source off
// by +10 ppm with 0.5 ms of publish jitter; timer wakes late by up to 30 us, with outliers of 0.5
// to 3 ms at 2 per 10,000 (or, with --wake-log PACE_LOG, late as that timer-mode pace log's
// ticks were, in turn); 0.3 ms of draw and 0.1 ms of present.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "pace_report/pace_log_reader.h"
#include "render/present_tracker.h"
#include "support/display_sim.h"

namespace {

using tsl::sim::DisplaySim;

struct Figures {
  double off_pattern_per_10k = 0.0;
  double errors_per_10k = 0.0;
  double beat_per_10k = 0.0;
  double judder_per_minute = 0.0;
  double take_p50_ms = 0.0, take_p99_ms = 0.0;
  double age_p50_ms = 0.0, age_p99_ms = 0.0;
};

double Percentile(std::vector<double> v, double q) {
  if (v.empty()) return std::nan("");
  std::sort(v.begin(), v.end());
  return v[static_cast<size_t>(static_cast<double>(v.size() - 1) * q)];
}

double Ms(uint64_t from, uint64_t to) {
  return static_cast<double>(static_cast<int64_t>(to - from)) * 1000.0 / tsl::sim::kFrequency;
}

Figures Judge(const DisplaySim& sim, double refresh_hz, double display_ppm, double fps,
              double minutes) {
  Figures f;
  // The refreshes a source frame is meant to stay: the ratio, or the two whole numbers around it.
  const double ratio = refresh_hz / fps;
  const double nearest = std::round(ratio);
  const bool whole = std::fabs(ratio - nearest) < 0.05 * ratio;
  const auto shortest = static_cast<uint32_t>(whole ? nearest : std::floor(ratio));
  const auto longest = static_cast<uint32_t>(whole ? nearest : std::ceil(ratio));

  // Runs of one source frame on the glass, from the first frame shown.
  struct Run {
    uint64_t version;
    uint32_t length;
    uint64_t first_blank_qpc;
  };
  std::vector<Run> runs;
  for (const tsl::sim::Glass& g : sim.Oracle()) {
    if (g.version == 0) continue;
    if (!runs.empty() && runs.back().version == g.version) {
      ++runs.back().length;
    } else {
      runs.push_back({g.version, 1, g.blank_qpc});
    }
  }
  if (runs.size() < 3) return f;
  runs.pop_back();  // the last run is cut by the end
  size_t off = 0;
  size_t errors = 0;
  std::vector<uint64_t> error_times;
  std::vector<double> ages;
  for (size_t i = 0; i < runs.size(); ++i) {
    const Run& r = runs[i];
    ages.push_back(Ms(sim.SignalTime(r.version), r.first_blank_qpc));
    if (i == 0) continue;  // the first run may be cut by the start
    if (r.length < shortest || r.length > longest) ++off;
    const uint64_t skipped =
        r.version > runs[i - 1].version + 1 ? r.version - runs[i - 1].version - 1 : 0;
    const bool held_too_long = r.length > longest;
    if (skipped > 0 || held_too_long) {
      errors += skipped + (held_too_long ? 1 : 0);
      error_times.push_back(r.first_blank_qpc);
    }
  }
  const uint64_t source_frames = runs.back().version - runs.front().version + 1;
  f.off_pattern_per_10k = 1e4 * static_cast<double>(off) / static_cast<double>(runs.size() - 1);
  f.errors_per_10k = 1e4 * static_cast<double>(errors) / static_cast<double>(source_frames);
  // The beat: source frames made a second against those the display's pattern takes, each
  // rate as its own clock runs.
  const double source_hz = 1.0 / sim.SourcePeriodS();
  const double refresh_true_hz = refresh_hz * (1.0 + display_ppm * 1e-6);
  const double taken_hz = refresh_true_hz / (whole ? nearest : ratio);
  f.beat_per_10k = 1e4 * std::fabs(source_hz - taken_hz) / source_hz;
  size_t events = 0;
  uint64_t last_event = 0;
  for (const uint64_t t : error_times) {
    if (events == 0 || t - last_event > tsl::sim::kFrequency / 2) ++events;
    last_event = t;
  }
  f.judder_per_minute = static_cast<double>(events) / minutes;

  std::vector<double> takes;
  for (const tsl::sim::PresentFate& p : sim.Presents()) {
    if (p.shown) takes.push_back(Ms(p.taken_qpc, p.first_blank_qpc));
  }
  f.take_p50_ms = Percentile(takes, 0.5);
  f.take_p99_ms = Percentile(takes, 0.99);
  f.age_p50_ms = Percentile(ages, 0.5);
  f.age_p99_ms = Percentile(ages, 0.99);
  return f;
}

struct Mode {
  const char* name;
  bool vsync;
  bool composed;
};

}  // namespace

int main(int argc, char** argv) {
  double minutes = 10.0;
  std::string wake_log;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--minutes" && i + 1 < argc) {
      minutes = std::atof(argv[++i]);
    } else if (arg == "--wake-log" && i + 1 < argc) {
      wake_log = argv[++i];
    } else {
      std::fprintf(stderr, "usage: cadencebench [--minutes M] [--wake-log PACE_LOG]\n");
      return 2;
    }
  }
  std::vector<double> replay_us;
  if (!wake_log.empty()) {
    tsl::report::PaceLog log;
    std::string error;
    if (!tsl::report::ReadPaceLog(wake_log, wake_log, log, error)) {
      std::fprintf(stderr, "cadencebench: %s\n", error.c_str());
      return 2;
    }
    for (const tsl::report::PaceLogRow& row : log.rows) {
      if (row.sample.target_qpc != row.sample.wake_qpc) replay_us.push_back(row.jitter_ms * 1e3);
    }
    if (replay_us.empty()) {
      std::fprintf(stderr,
                   "cadencebench: %s has no timer wakes to replay (a vsync log: every tick's "
                   "target is its wake)\n",
                   wake_log.c_str());
      return 2;
    }
  }
  if (!(minutes > 0.0)) {
    std::fprintf(stderr, "cadencebench: --minutes must be above 0\n");
    return 2;
  }
  struct Rates {
    double fps;
    double refresh_hz;
    const char* label;
  };
  const Rates rates[] = {{60.0, 60.0, "60 on 60.000"},
                         {60.0, 60000.0 / 1001.0, "60 on 59.940"},
                         {60.0, 120.0, "60 on 120"},
                         {72.0, 143.98, "72 on 143.98"},
                         {24.0, 60.0, "24 on 60"}};
  const Mode modes[] = {
      {"vsync", true, true}, {"timer comp", false, true}, {"timer flip", false, false}};

  std::printf("cadencebench: %.1f simulated minutes a run", minutes);
  if (!replay_us.empty()) {
    std::printf("; timer wakes late as the %zu ticks of %s, p99 %.1f us", replay_us.size(),
                wake_log.c_str(), Percentile(replay_us, 0.99));
  }
  std::printf("\n\n");
  std::printf("%-13s %-10s %11s %8s %8s %10s %17s %17s\n", "rates", "mode", "off-pattern", "errors",
              "beat", "judder/min", "take-glass ms", "age ms");
  std::printf("%-13s %-10s %11s %8s %8s %10s %17s %17s\n", "", "", "per 10k", "per 10k", "per 10k",
              "", "p50 / p99", "p50 / p99");
  double worst_vsync = 0.0;
  double worst_timer = 0.0;
  uint64_t seed = 1;
  for (const Rates& r : rates) {
    for (const Mode& m : modes) {
      tsl::sim::DisplayParams display;
      display.refresh_hz = r.refresh_hz;
      display.ppm = -15.0;
      display.ppm_walk = 0.02;
      display.composed = m.composed;
      tsl::sim::SourceParams source;
      source.fps = r.fps;
      source.ppm = 10.0;
      source.jitter_us = 500.0;
      tsl::sim::PaceParams pace;
      pace.outlier_rate = 2e-4;
      pace.wake_late_replay_us = replay_us;
      DisplaySim sim(display, source, pace, seed++, minutes * 60.0);
      tsl::PaceStats stats(tsl::kPaceRingCapacity);
      tsl::PresentTracker tracker;
      tsl::sim::RunTicks(sim, r.fps, m.vsync, m.vsync ? 1 : 0, stats, tracker);
      const Figures f = Judge(sim, r.refresh_hz, display.ppm, r.fps, minutes);
      std::printf("%-13s %-10s %11.1f %8.1f %8.1f %10.2f %8.2f / %6.2f %8.2f / %6.2f\n", r.label,
                  m.name, f.off_pattern_per_10k, f.errors_per_10k, f.beat_per_10k,
                  f.judder_per_minute, f.take_p50_ms, f.take_p99_ms, f.age_p50_ms, f.age_p99_ms);
      std::fflush(stdout);
      double& worst = m.vsync ? worst_vsync : worst_timer;
      worst = std::max(worst, f.off_pattern_per_10k);
    }
  }
  std::printf(
      "\ncadence: vsync off-pattern %.1f per 10k, timer off-pattern %.1f per 10k, locked "
      "off-pattern n/a per 10k, locked take-to-glass p99 n/a ms\n",
      worst_vsync, worst_timer);
  return 0;
}

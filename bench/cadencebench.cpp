// What the glass shows under each pacing mode, measured on the display simulator
// (tests/support/display_sim.h) with the program's own pace controller and tick path: for each
// source rate on each display, ten simulated minutes (unless --minutes says otherwise) of
//   vsync        today's vsync mode: ticks back to back, sync interval 1, frame latency 3
//   timer comp   today's timer mode: ticks at --fps, sync interval 0, through the compositor
//   timer flip   the same on an independent flip (no compositor refresh; tearing not modelled)
//   locked comp  the display-locked mode: ticks timed against the blanks, --fps as a refresh
//                pattern, frames picked without chatter, sync interval 1, one frame in flight
//                (the waitable wait), through the compositor
//   locked flip  the same on an independent flip
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
// The last line gives, per mode, the worst off-pattern figure of its runs, and the locked mode's
// worst take-to-glass p99: on an independent flip, and through the compositor past its refresh.
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
#include "support/cadence_judge.h"
#include "support/display_sim.h"

namespace {

using tsl::sim::DisplaySim;

struct Mode {
  const char* name;
  bool vsync;
  bool locked;
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
  const Mode modes[] = {{"vsync", true, false, true},
                        {"timer comp", false, false, true},
                        {"timer flip", false, false, false},
                        {"locked comp", true, true, true},
                        {"locked flip", true, true, false}};

  std::printf("cadencebench: %.1f simulated minutes a run", minutes);
  if (!replay_us.empty()) {
    std::printf("; timer wakes late as the %zu ticks of %s, p99 %.1f us", replay_us.size(),
                wake_log.c_str(), tsl::sim::Percentile(replay_us, 0.99));
  }
  std::printf("\n\n");
  std::printf("%-13s %-11s %11s %8s %8s %10s %17s %17s  %s\n", "rates", "mode", "off-pattern",
              "errors", "beat", "judder/min", "take-glass ms", "age ms", "locked to");
  std::printf("%-13s %-11s %11s %8s %8s %10s %17s %17s\n", "", "", "per 10k", "per 10k", "per 10k",
              "", "p50 / p99", "p50 / p99");
  double worst_vsync = 0.0;
  double worst_timer = 0.0;
  double worst_locked = 0.0;
  double worst_take_flip = 0.0;
  double worst_take_composed = 0.0;  // past one refresh
  uint64_t seed = 1;
  for (const Rates& r : rates) {
    for (const Mode& m : modes) {
      tsl::sim::DisplayParams display;
      display.refresh_hz = r.refresh_hz;
      display.ppm = -15.0;
      display.ppm_walk = 0.02;
      display.composed = m.composed;
      display.waitable = m.locked;
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
      std::string locked_to;
      if (m.locked) {
        tsl::CadenceStatus status;
        tsl::sim::RunLockedTicks(sim, r.fps, stats, tracker, status);
        char text[96];
        std::snprintf(text, sizeof text, "%s @ %.2f Hz (%s), lead %.2f ms", status.pattern.c_str(),
                      status.refresh_hz, tsl::BlankSourceName(status.source), status.lead_ms);
        locked_to = text;
      } else {
        tsl::sim::RunTicks(sim, r.fps, m.vsync, m.vsync ? 1 : 0, stats, tracker);
      }
      const tsl::sim::CadenceFigures f = tsl::sim::Judge(sim, r.fps, minutes);
      std::printf("%-13s %-11s %11.1f %8.1f %8.1f %10.2f %8.2f / %6.2f %8.2f / %6.2f  %s\n",
                  r.label, m.name, f.off_pattern_per_10k, f.errors_per_10k, f.beat_per_10k,
                  f.judder_per_minute, f.take_p50_ms, f.take_p99_ms, f.age_p50_ms, f.age_p99_ms,
                  locked_to.c_str());
      std::fflush(stdout);
      double& worst = m.locked ? worst_locked : m.vsync ? worst_vsync : worst_timer;
      worst = std::max(worst, f.off_pattern_per_10k);
      if (m.locked && m.composed) {
        worst_take_composed = std::max(worst_take_composed, f.take_p99_ms - 1e3 / r.refresh_hz);
      } else if (m.locked) {
        worst_take_flip = std::max(worst_take_flip, f.take_p99_ms);
      }
    }
  }
  std::printf(
      "\ncadence: vsync off-pattern %.1f per 10k, timer off-pattern %.1f per 10k, locked "
      "off-pattern %.1f per 10k, locked take-to-glass p99 %.2f ms flip, %.2f ms past a refresh "
      "composed\n",
      worst_vsync, worst_timer, worst_locked, worst_take_flip, worst_take_composed);
  return 0;
}

// The display-locked mode against the display simulator: the program's pace controller, display
// lock, frame picker and tick path run for simulated seconds, and the oracle says whether every
// output frame stayed its pattern's refreshes and got to the glass soon after its take.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "pacing/display_lock.h"
#include "support/cadence_judge.h"
#include "support/display_sim.h"

namespace tsl {
namespace {

struct Scenario {
  const char* what = "";
  sim::DisplayParams display;
  sim::SourceParams source;
  sim::PaceParams pace;
  double fps = 60.0;
  std::string pattern;
  BlankSource source_of_grid = BlankSource::kStatistics;
  int most_off_pattern = 2;  // output frames off the pattern beyond the beat's (the start's)
  double max_take_p99_ms = 0.0;
  double settle_s = 0.0;  // judged from then on
  uint32_t latency = 1;   // frames in flight
  double most_recovery = 1e9;  // refreshes from a slip back to an on-time present
};

std::vector<Scenario> Scenarios() {
  std::vector<Scenario> all;
  {
    Scenario s;
    s.what = "72 on 143.98 Hz, independent flip";
    s.display.refresh_hz = 143.98;
    s.display.composed = false;
    s.source.fps = 72.0;
    s.fps = 72.0;
    s.pattern = "2";
    s.max_take_p99_ms = 2.5;
    all.push_back(s);
  }
  {
    Scenario s;
    s.what = "24 on 60 Hz through the compositor, a display 20 ppm slow";
    s.display.composed = true;
    s.display.ppm = -20.0;
    s.source.fps = 24.0;
    s.source.jitter_us = 500.0;
    s.fps = 24.0;
    s.pattern = "2-3";
    s.max_take_p99_ms = 1000.0 / 60.0 + 2.5;
    all.push_back(s);
  }
  {
    Scenario s;
    s.what = "60 on 59.94 Hz, a mode change after 10 s";
    s.display.refresh_hz = 60000.0 / 1001.0;
    s.display.composed = false;
    s.display.disjoint_at_s = 10.0;
    s.source.jitter_us = 500.0;
    s.pattern = "1";
    s.most_off_pattern = 3;  // the start, and the presents made before the lock heard of it
    s.max_take_p99_ms = 2.5;
    all.push_back(s);
  }
  {
    Scenario s;
    s.what = "30 on a synthetic 60 Hz grid, no statistics (as under the emulator)";
    s.display.statistics = false;
    s.display.stated = BlankSource::kSynthetic;
    s.display.composed = false;
    s.source.fps = 30.0;
    s.fps = 30.0;
    s.pattern = "2";
    s.source_of_grid = BlankSource::kSynthetic;
    s.max_take_p99_ms = 2.5;
    all.push_back(s);
  }
  // What real machines do: once a refresh late, a lock must not stay late.
  {
    Scenario s;
    s.what = "60 on 60 Hz flip, draws that stall 2-5 ms now and then";
    s.display.composed = false;
    s.pace.stall_rate = 2e-3;
    s.pattern = "1";
    s.most_off_pattern = 3;   // the first stalls, until the lead covers the slowest tick
    s.max_take_p99_ms = 8.0;  // that lead; a refresh late for good would be 16.7 more
    all.push_back(s);
  }
  {
    Scenario s;
    s.what = "60 on 59.94 Hz flip, a 1.5 ms latch (the lock assumes 0.5 ms)";
    s.display.refresh_hz = 60000.0 / 1001.0;
    s.display.composed = false;
    s.display.latch_us = 1500.0;
    s.pattern = "1";
    s.most_off_pattern = 4;
    s.max_take_p99_ms = 3.0;
    all.push_back(s);
  }
  {
    Scenario s;
    s.what = "60 on 60 Hz flip, the stated grid half a refresh off";
    s.display.composed = false;
    s.display.stated_phase_error = 0.5;
    s.pattern = "1";
    s.most_off_pattern = 4;
    s.max_take_p99_ms = 2.5;
    s.settle_s = 2.5;  // statistics come within half a second
    all.push_back(s);
  }
  {
    Scenario s;
    s.what = "60 on 60 Hz composed, two frames in flight, the platform saying composed, stalls";
    s.display.composed = true;
    s.display.says_composition = true;
    s.pace.stall_rate = 2e-3;
    s.latency = 2;
    s.pattern = "1";
    s.most_off_pattern = 2;  // the start; a stall of up to a refresh costs latency only
    s.max_take_p99_ms = 2 * 1000.0 / 60.0 + 2.5;
    all.push_back(s);
  }
  {
    // Without the platform's word both depths of the queue land steadily: the lock must find
    // the compositor itself, or each present has only its lead before the compositor's blank.
    Scenario s;
    s.what = "the same, the platform saying nothing, and a change to 144 Hz";
    s.display.composed = true;
    s.display.disjoint_at_s = 15.0;
    s.display.mode_change_hz = 144.0;
    s.pace.stall_rate = 4e-3;
    s.latency = 2;
    s.pattern = "2-3";
    // The start, the one present that finds the compositor, and the present made for the old
    // pattern after the change: after it the compositor is still there, and nothing needs
    // finding again.
    s.most_off_pattern = 3;
    s.max_take_p99_ms = 2 * 1000.0 / 60.0 + 2.5;
    all.push_back(s);
  }
  // A present that reached the glass a refresh late, whoever made it late: with frames of one
  // length it keeps its whole run (the tick after it goes a refresh later rather than show it
  // a single refresh); a 2-3 keeps its phase, the late frame cut short and the next on time.
  {
    Scenario s;
    s.what = "72 on 143.98 Hz composed, the compositor a refresh late now and then";
    s.display.refresh_hz = 143.98;
    s.display.hiccup_rate = 2e-3;
    s.source.fps = 72.0;
    s.fps = 72.0;
    s.pattern = "2";
    s.most_off_pattern = 2;  // besides the compositor's own, about 9
    // A refresh through the compositor and, for the ticks after a hiccup, the longest lead (0.8
    // of a refresh); a lock a refresh late for good would be two refreshes and its lead.
    s.max_take_p99_ms = 1.8 * 1000.0 / 143.98 + 0.1;
    all.push_back(s);
  }
  {
    Scenario s;
    s.what = "24 on 60 Hz composed, draws that stall 2-5 ms now and then";
    s.display.composed = true;
    s.pace.stall_rate = 1e-2;
    s.source.fps = 24.0;
    s.fps = 24.0;
    s.pattern = "2-3";
    s.most_off_pattern = 4;  // the start's two, and a frame for each stall that slipped
    s.max_take_p99_ms = 1000.0 / 60.0 + 8.0;
    s.most_recovery = 2.0;  // the phase kept: the late frame's next is on time at its slot
    all.push_back(s);
  }
  {
    // The tick after a slip for a latch longer than believed is made at the longest lead: it
    // makes its blank, so one slip costs about one frame, not two frames and the move.
    Scenario s;
    s.what = "72 on 143.98 Hz flip, a 1.4 ms latch (the lock assumes 0.5 ms)";
    s.display.refresh_hz = 143.98;
    s.display.composed = false;
    s.display.latch_us = 1400.0;
    s.source.fps = 72.0;
    s.fps = 72.0;
    s.pattern = "2";
    s.most_off_pattern = 4;
    s.max_take_p99_ms = 3.0;
    s.most_recovery = 2.0;
    all.push_back(s);
  }
  {
    // Two frames in flight, a present landing a refresh (or two) late says the queue is that
    // much too deep: the schedule moves that many refreshes later and the glass goes on as it
    // was. A whole slot given up for it moves the schedule a frame, and the queue runs empty.
    Scenario s;
    s.what = "24 on 60 Hz flip, two frames in flight, a move to a 72 Hz monitor";
    s.display.composed = false;
    s.display.disjoint_at_s = 10.0;
    s.display.mode_change_hz = 72.0;
    s.display.move_phase = 0.3;
    s.source.fps = 24.0;
    s.source.jitter_us = 500.0;
    s.fps = 24.0;
    s.latency = 2;
    s.pattern = "3";
    s.most_off_pattern = 2;  // the start, and the present made for the old pattern
    s.max_take_p99_ms = 2 * 1000.0 / 60.0 + 2.5;
    // The first presents on the new monitor queue a refresh deep until its statistics say so
    // (about 0.4 s); a queue left too deep would be late for good.
    s.most_recovery = 30.0;
    all.push_back(s);
  }
  return all;
}

TEST(DisplayLockSimTest, EachOutputFrameStaysItsPatternAndReachesTheGlassSoonAfterItsTake) {
  constexpr double kSeconds = 30.0;
  uint64_t seed = 11;
  for (Scenario& s : Scenarios()) {
    SCOPED_TRACE(s.what);
    s.display.waitable = true;
    s.display.frame_latency = s.latency;
    sim::DisplaySim display(s.display, s.source, s.pace, seed++, kSeconds);
    PaceStats stats(kPaceRingCapacity);
    PresentTracker tracker;
    CadenceStatus status;
    sim::RunLockedTicks(display, s.fps, stats, tracker, status, s.latency);

    EXPECT_TRUE(status.locked);
    EXPECT_EQ(status.pattern, s.pattern);
    EXPECT_EQ(status.source, s.source_of_grid) << BlankSourceName(status.source);
    const double hz =
        s.display.mode_change_hz > 0.0 ? s.display.mode_change_hz : s.display.refresh_hz;
    EXPECT_NEAR(status.refresh_hz, hz * (1.0 + s.display.ppm * 1e-6), 0.01);
    const double ticks_per_s = static_cast<double>(display.Presents().size()) / kSeconds;
    EXPECT_NEAR(ticks_per_s, s.fps, s.fps * 0.01);
    const sim::CadenceFigures f = sim::Judge(
        display, s.fps, kSeconds / 60.0, (s.display.composed ? 1 : 0) + s.latency - 1, s.settle_s);
    const double output_frames = s.fps * kSeconds;
    // Rounded: the judge's rate is over the runs it judged, a few fewer than the frames.
    EXPECT_LE(std::round((f.off_pattern_per_10k - f.beat_per_10k) * output_frames / 1e4),
              s.most_off_pattern);
    EXPECT_LE(f.take_p99_ms, s.max_take_p99_ms);
    for (const double r : f.recovery_refreshes) EXPECT_LE(r, s.most_recovery);
  }
}

// With nothing stated of the display the ticks run back to back until the first statistics,
// each taken as the wait for the swap chain returns at a blank: the next blank is the first
// after that take, and a present that reaches it is on time, not a slip.
TEST(CadenceJudgeTest, APresentTakenAtABlankIsOnTimeAtTheNext) {
  sim::DisplayParams display;
  display.composed = false;
  display.waitable = true;
  display.stated = BlankSource::kNone;
  sim::DisplaySim sim(display, sim::SourceParams{}, sim::PaceParams{}, 5, 2.0);
  PaceStats stats(kPaceRingCapacity);
  PresentTracker tracker;
  CadenceStatus status;
  sim::RunLockedTicks(sim, 60.0, stats, tracker, status, 1);
  size_t at_a_blank = 0;  // takes within a microsecond of the blank before their landing
  for (const sim::PresentFate& p : sim.Presents()) {
    const uint64_t period = sim::kFrequency / 60;
    at_a_blank += p.shown && p.first_blank_qpc - p.taken_qpc <= period + 10 ? 1 : 0;
  }
  ASSERT_GT(at_a_blank, 10u);  // what this case is about
  EXPECT_EQ(sim::Judge(sim, 60.0, 2.0 / 60.0).slips, 0u);
}

// The judge sees where in its pattern each run stands: runs of lengths the pattern uses, in an
// order it does not, are off it; one frame a refresh late is one frame off, and so is a
// pattern moved a refresh on. The first and last runs are not judged (they may be cut).
TEST(CadenceJudgeTest, RunsAreJudgedAtTheirPlaceInThePattern) {
  struct Row {
    const char* what;
    double refresh_hz;
    double fps;
    std::vector<uint32_t> lengths;
    size_t off;
  };
  const Row rows[] = {
      {"2-3 as it should be", 60.0, 24.0, {9, 2, 3, 2, 3, 2, 3, 9}, 0},
      {"a 2,2 inside 2-3", 60.0, 24.0, {9, 2, 3, 2, 3, 2, 2, 3, 2, 3, 9}, 1},
      {"a 3,3 inside 2-3", 60.0, 24.0, {9, 2, 3, 3, 2, 3, 2, 9}, 1},
      {"a 4 inside 2-3", 60.0, 24.0, {9, 2, 3, 4, 2, 3, 9}, 1},
      {"2-3, one frame a refresh late", 60.0, 24.0, {9, 2, 3, 3, 2, 2, 3, 9}, 1},
      {"2 each, one frame a refresh late", 143.98, 72.0, {9, 2, 2, 3, 1, 2, 2, 9}, 1},
      {"2-3, moved a refresh later", 60.0, 24.0, {9, 2, 3, 3, 3, 2, 3, 9}, 1},
      {"one each, one held", 60.0, 60.0, {9, 1, 1, 2, 1, 1, 9}, 1},
      {"above the refresh: one each", 60.0, 75.0, {9, 1, 1, 1, 9}, 0},
      {"50 on 144, no small fraction: 2 or 3", 144.0, 50.0, {9, 3, 3, 2, 3, 3, 9}, 0},
      {"50 on 144, a 4", 144.0, 50.0, {9, 3, 4, 3, 9}, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    std::vector<sim::GlassRun> runs;
    for (const uint32_t length : row.lengths) runs.push_back({runs.size() + 1, length, 0});
    const sim::IntendedPattern pattern(row.refresh_hz, row.fps);
    EXPECT_EQ(sim::OffPattern(runs, [&](uint64_t) { return pattern; }), row.off);
  }
}

}  // namespace
}  // namespace tsl

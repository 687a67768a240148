#pragma once

// A display, a flip-model swap chain, a frame source and the pace thread's timer, simulated on a
// fake counter (10 MHz, as the Windows counter runs) by discrete events, so that the program's
// own pace controller, tick path and present tracker can be run against a display for simulated
// minutes in a second, and judged against an oracle that knows, for every refresh, which present
// and which source frame were on the glass.
//
// What it models is the swap chain as its documentation describes it, not the program's hopes:
// - the display refreshes at a rational nominal rate, off the counter by some ppm that walks
//   slowly; the blanks the statistics report carry a little noise;
// - a present is queued; at each blank the oldest queued present that made the latch deadline
//   replaces the image on the glass, once that image has stayed its sync interval's blanks; a
//   sync-interval-0 present with a newer one queued behind it that also made the deadline is
//   discarded unseen (no tearing is modelled: images change at blanks only);
// - composed, the compositor takes that present at the blank instead (one at a time, while none
//   it took waits for the glass), and it reaches the glass at the next blank: one refresh more;
// - Present blocks while the maximum frame latency's presents are queued, not yet taken by the
//   glass or the compositor (a sync-interval-0 present with a newer one queued behind it is
//   discarded, and waits for nothing); the waitable wait blocks the same way before a present;
// - GetLastPresentCount is the id of the last present; GetFrameStatistics answers a disjoint
//   until an image was shown and after a mode change, now and then all zeros, and otherwise the
//   last image shown (by id, or counting images, as the parameter says), the refresh it first
//   reached, and the latest blank with its noisy time;
// - the pace thread's timer wakes late by a small amount, with rare outliers;
// - the source publishes frames at its own rate (off by its own ppm), with jitter and pauses.
//
// Not thread-safe: the pace thread drives it (through SimPacePlatform and SimOutput) while the
// test waits for it to finish.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <random>
#include <vector>

#include "measure/present_tracker.h"
#include "pacing/display_lock.h"
#include "pacing/pace_platform.h"
#include "pacing/vblank_clock.h"
#include "tick/tick_path.h"

namespace tsl::sim {

inline constexpr uint64_t kFrequency = 10'000'000;

struct DisplayParams {
  double refresh_hz = 60.0;      // nominal rate (rational ones as their quotient: 60000.0 / 1001)
  double ppm = 0.0;              // the display's clock against the counter
  double ppm_walk = 0.0;         // random walk of that offset, ppm per refresh (1 sigma)
  double report_noise_us = 2.0;  // SyncQPCTime is off the true blank by up to this
  bool composed = true;          // the compositor adds one refresh
  double latch_us = 500.0;       // a present's image must be ready (its GPU work done) this
                                 // long before a blank to make it
  uint32_t max_latency = 3;      // presents queued before Present (or the waitable wait) blocks
  bool waitable = false;         // the waitable wait is used, with `frame_latency` in flight
  uint32_t frame_latency = 1;    // (the waitable swap chain's maximum frame latency)
  double phase = 0.37;           // the first blank, in refreshes after the simulation starts
  double hiccup_rate = 0.0;      // composed: share of blanks at which the compositor is a
                                 // refresh late taking the present that made it
  bool present_count_is_id = true;    // PresentCount: the id of the last present shown; false:
                                      // the number of images shown
  double zero_statistics_rate = 0.0;  // share of statistics answered all zero
  uint32_t first_refresh = 1000;      // SyncRefreshCount of the first blank
  uint32_t first_present_id = 0;      // GetLastPresentCount before the first present
  double disjoint_at_s = -1.0;        // a mode change: queued presents written off, refresh
                                      // count jumps, the next statistics answer a disjoint
  double mode_change_hz = 0.0;        // ... and the display's nominal rate after it (0: the same)
  double move_phase = -1.0;           // the change is a move to another monitor: its blanks
                                      // are this many of its refreshes off the old ones (<0:
                                      // a mode change, the blanks go on from the last)
  bool statistics = true;             // false: GetFrameStatistics is not implemented (Wine)
  bool says_composition = false;      // the statistics say how each image was composed (the
                                      // platform's media statistics)
  BlankSource stated = BlankSource::kNominal;  // what the platform's stated grid is (kNone:
                                               // it states nothing)
  double stated_phase_error = 0.0;  // the stated grid's blanks are this many refreshes off the
                                    // true ones (a compositor following another monitor)
};

struct SourceParams {
  double fps = 60.0;
  double ppm = 0.0;
  double jitter_us = 0.0;      // publish jitter, uniform up to this
  double start_s = 0.0;        // the first frame
  double pause_every_s = 0.0;  // a pause of pause_s every so often (0: none)
  double pause_s = 0.0;
  double receive_delay_us = 500.0;  // from the sender's signal to the slot
};

struct PaceParams {
  double wake_late_us = 30.0;               // timer wakes are late by up to this (uniform)
  double outlier_rate = 0.0;                // share of wakes that are late by 0.5 to 3 ms instead
  std::vector<double> wake_late_replay_us;  // if given, wakes are late by these, in turn (a
                                            // real pace log's lateness), instead of the above
  double draw_us = 300.0;                   // the draw before the present
  double present_us = 100.0;                // the present call itself (besides blocking)
  double gpu_us = 0.0;                      // the GPU's work after the present call, before
                                            // the image can be latched
  double cost_sigma = 0.0;                  // each of those three is its value times a
                                            // lognormal factor of this sigma (0: constant)
  double stall_rate = 0.0;                  // share of draws that stall 2 to 5 ms more
  double minimised_from_s = -1.0;           // a stretch of ticks with nothing to draw into
  double minimised_to_s = -1.0;
};

// What the glass showed at one refresh.
struct Glass {
  uint32_t refresh = 0;     // the refresh count the statistics give this blank
  uint64_t blank_qpc = 0;   // its true time
  uint32_t present_id = 0;  // 0: nothing yet
  uint64_t version = 0;     // the source frame (0: a blank present, or nothing)
};

// A present call as the swap chain saw it, and what became of it.
struct PresentFate {
  uint32_t id = 0;
  uint32_t sync_interval = 0;
  uint64_t version = 0;
  uint64_t taken_qpc = 0;    // when the tick took its frame
  uint64_t present_qpc = 0;  // when the present call was made
  uint64_t ready_qpc = 0;    // when its GPU work was done: the latch counts from here
  bool shown = false;
  uint32_t first_refresh = 0;
  uint64_t first_blank_qpc = 0;
  uint32_t refreshes = 0;  // on the glass
  bool dropped = false;    // discarded unseen (replaced, or written off)
};

class DisplaySim {
 public:
  DisplaySim(const DisplayParams& display, const SourceParams& source, const PaceParams& pace,
             uint64_t seed, double seconds);

  uint64_t Now() const { return now_; }
  // The counter when the simulation started.
  uint64_t Start() const { return start_; }
  bool Finished() const { return now_ >= end_; }
  // Moves the clock on, showing what the blanks up to then show.
  void AdvanceTo(uint64_t t);
  void AdvanceUs(double us) { AdvanceTo(now_ + static_cast<uint64_t>(us * 10.0)); }
  // A timer wake due at `due`: when it really comes.
  uint64_t WakeTime(uint64_t due);
  bool Minimised() const;
  // The draw before a present takes its time.
  void Draw();

  // The swap chain.
  void WaitUntilReady();
  void Present(uint32_t sync_interval, uint64_t version, uint64_t taken_qpc);
  uint32_t LastPresentId() const { return nextId_ - 1; }
  StatisticsRead Statistics(FrameStatistics& stats);

  // The source: the newest frame in the slot now (false before the first).
  bool Newest(uint64_t& version, uint64_t& seen_qpc) const;
  // When source frame `version` was signalled by its sender, and when it reached the slot.
  uint64_t SignalTime(uint64_t version) const;
  uint64_t SeenTime(uint64_t version) const;
  // What the platform states of the display before any statistics: its nominal rate, phased by
  // the compositor at the first blank (as the parameters say it is named).
  BlankGrid StatedGrid() const;
  double SourcePeriodS() const { return 1.0 / (source_.fps * (1.0 + source_.ppm * 1e-6)); }

  // The oracle.
  const std::vector<Glass>& Oracle() const { return glass_; }
  const std::vector<PresentFate>& Presents() const { return presents_; }
  const PresentFate* Fate(uint32_t id) const;
  double NominalPeriodQpc() const { return period_; }
  // The nominal rate the display ran at when the blank at `blank_qpc` came.
  double RefreshHzAt(uint64_t blank_qpc) const;
  // The first blank at the changed rate (UINT64_MAX: none yet).
  uint64_t ModeChangeQpc() const { return modeChangeQpc_; }
  // The blanks at which the compositor left a present that had made them for the next one (a
  // hiccup): the glass shows the image before a refresh longer, whatever the program did.
  const std::vector<uint64_t>& Hiccups() const { return hiccups_; }
  // The blanks at which a mode change wrote presents off that were queued for the glass: the
  // image on it stays until the next present, whatever the program did.
  const std::vector<uint64_t>& WrittenOff() const { return writtenOff_; }
  const DisplayParams& Display() const { return display_; }

 private:
  struct Queued {
    size_t fate;   // index into presents_
    bool latched;  // the compositor took it: it reaches the glass at the next blank
  };
  void Blank();
  // Presents queued that will reach the glass (a replaced one will not).
  size_t Waiting() const;
  // Moves on blank by blank while the swap chain holds as many presents waiting for the glass
  // as it may: a present call (or the waitable wait) blocks that long.
  void BlockWhileFull();
  // The present was made by the blank's latch deadline.
  bool Eligible(const PresentFate& p, uint64_t blank_qpc) const;
  // Discards the sync-interval-0 presents at the head that a newer one made this blank behind.
  void DropReplaced(uint64_t blank_qpc);
  void WriteOff();
  // `us` times the cost tail's factor.
  double Cost(double us);

  DisplayParams display_;
  SourceParams source_;
  PaceParams pace_;
  std::mt19937_64 random_;
  uint64_t now_ = 0;
  uint64_t start_ = 0;
  uint64_t end_ = 0;
  double period_ = 0.0;     // nominal, in counts
  double ppmNow_ = 0.0;     // the display's offset at this refresh
  double nextBlank_ = 0.0;  // true time of the next blank
  uint32_t nextRefresh_ = 0;
  std::vector<Glass> glass_;
  std::vector<PresentFate> presents_;
  std::vector<Queued> queue_;
  bool haveOnGlass_ = false;
  size_t onGlass_ = 0;         // index into presents_
  uint32_t onGlassSince_ = 0;  // the refresh it came
  uint32_t nextId_ = 1;
  uint32_t imagesShown_ = 0;
  bool disjointPending_ = true;  // the first statistics answer a disjoint
  bool disjointDone_ = false;
  uint64_t lastReportedNoise_ = 0;
  double firstBlank_ = 0.0;
  uint64_t modeChangeQpc_ = UINT64_MAX;  // the first blank at the changed rate
  std::vector<uint64_t> signals_;        // per source frame (index = version - 1): its signal time
  std::vector<uint64_t> hiccups_;
  std::vector<uint64_t> writtenOff_;
  size_t nextReplay_ = 0;
};

// The pace controller's platform on the simulated clock. Timer waits jump to the wake time (late
// as the parameters say); once the simulated time is up, waits block for real until Stop.
class SimPacePlatform final : public PacePlatform {
 public:
  explicit SimPacePlatform(DisplaySim& sim) : sim_(sim) {}

  uint64_t Now() override { return sim_.Now(); }
  uint64_t Frequency() override { return kFrequency; }
  void BeginTimerResolution() override {}
  void EndTimerResolution() override {}
  bool OpenTimer() override { return true; }
  void CloseTimer() override {}
  bool TimerOpen() const override { return true; }
  void ArmTimer(TimerDelay delay) override;
  void WaitTimer() override;
  void SpinPause() override {
    sim_.AdvanceUs(1.0);
    spunUs_ += 1.0;
  }
  void SleepTwoMs() override;
  void* EnterThreadClass(bool) override { return nullptr; }
  void LeaveThreadClass(void*) override {}

  // Blocks the caller until the simulated time is up.
  void WaitUntilFinished();
  // Simulated time the pace thread spun (SpinPause), in microseconds.
  double SpunUs() const { return spunUs_; }

 private:
  // Past the end: blocks until Stop's wake-up; true when it did.
  bool HoldAtEnd();

  DisplaySim& sim_;
  uint64_t due_ = 0;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool woken_ = false;
  bool finished_ = false;
  double spunUs_ = 0.0;
};

// The tick path's output on the simulated swap chain and source.
class SimOutput final : public TickOutput {
 public:
  explicit SimOutput(DisplaySim& sim) : sim_(sim) {}

  void WaitUntilReady() override { sim_.WaitUntilReady(); }
  void Peek(OutputFrame& newest, OutputFrame& previous) override;
  PresentOutcome PresentFrame(uint32_t sync_interval, uint64_t version,
                              OutputFrame& frame) override;
  bool LastPresentId(uint32_t& id) override {
    id = sim_.LastPresentId();
    return true;
  }
  StatisticsRead ReadStatistics(FrameStatistics& stats) override { return sim_.Statistics(stats); }

 private:
  DisplaySim& sim_;
};

// Runs the program's own pace controller (on SimPacePlatform) and tick path (through SimOutput)
// against the simulation until its time is up: `fps` for the controller, vsync mode (back to
// back) or timer mode, every present with `sync_interval`. Returns the simulated time the pace
// thread spun before its targets, per tick, in microseconds.
double RunTicks(DisplaySim& sim, double fps, bool vsync, uint32_t sync_interval, PaceStats& stats,
                PresentTracker& tracker);
// The same in the display-locked mode: a DisplayLock at `fps` with `frame_latency` frames in
// flight, stated the display's grid as the platform states it (and again whenever the lock asks,
// as the main thread does), schedules the ticks and picks their frames; `status` is the lock's
// at the end.
double RunLockedTicks(DisplaySim& sim, double fps, PaceStats& stats, PresentTracker& tracker,
                      CadenceStatus& status, uint32_t frame_latency = 1);

}  // namespace tsl::sim

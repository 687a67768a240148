#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "pacing/pace_platform.h"
#include "pacing/wake_margin.h"

namespace tsl {

// Tick index, target time and wake time, all raw counter values.
using TickCallback = std::function<void(uint64_t, uint64_t, uint64_t)>;
// True while presentation is locked to the display refresh: ticks then run back to back.
using VsyncActive = std::function<bool()>;

// How the ticks run, as the pace thread ran its last one: the one name of the mode in force
// (the product of the vsync switch, whether a schedule exists and whether it has a clock now),
// which the title reads instead of working it out again.
enum class CadenceMode : uint8_t {
  kEveryRefresh,  // vsync on, no schedule: each blocking present sets the pace
  kLocked,        // vsync on: each tick timed against the display's blanks by the schedule
  kNoClock,       // vsync on with a schedule that has nothing to lock to: back to back
  kTimer,         // vsync off: ticks on the timer at the requested rate
};

// The display-locked schedule: while vsync is on, the ticks' targets come from the display's
// blanks instead of a fixed period. Called on the pace thread only.
class TickSchedule {
 public:
  virtual ~TickSchedule() = default;
  // The next tick's target, at or after `now` as the schedule sees fit; `skipped` says how many
  // of its slots it gave up because their time had passed (each counts as missed). False while
  // the schedule has nothing to lock to: ticks then run back to back.
  virtual bool NextTarget(uint64_t now, uint64_t& target, uint64_t& skipped) = 0;
  // The tick for that target woke at `wake`: false when it can no longer make its blank. Its slot
  // is then given up (one miss) and no tick runs for it.
  virtual bool InTime(uint64_t wake) = 0;
  // True when a wake later than its target costs a slot (one frame in flight): the early wake
  // then absorbs the largest overshoots, at the price of spinning. False when a late wake only
  // costs latency, and the timer's usual tail will do.
  virtual bool EveryWakeCounts() const { return true; }
  // Whether NextTarget would find a clock to lock to now: the mode a start begins in.
  virtual bool HasClock() const { return true; }
};

// Owns the pace thread, which issues ticks at a fixed rate measured on the high-resolution
// counter: it sleeps on a waitable timer until a margin before each target (learned from the
// timer's overshoots, 0.5 ms to start with) and spins the rest. While the vsync predicate says
// so, it either waits the same way for the targets a display-locked schedule gives, or, without
// one, runs ticks back to back and lets the blocking present set the cadence.
class PaceController {
 public:
  PaceController();
  explicit PaceController(std::unique_ptr<PacePlatform> platform);
  ~PaceController();

  PaceController(const PaceController&) = delete;
  PaceController& operator=(const PaceController&) = delete;

  // The highest rate accepted: a tick every millisecond. Above it a tick's own work (draw,
  // present, statistics) no longer fits its period on any display Tessaline drives.
  static constexpr double kMaxFps = 1000.0;
  // The lowest: a tick every 100 s. Below it a period in counts times the timer's 100 ns units
  // no longer fits 64 bits on a fast counter, nor a tick's refreshes 32.
  static constexpr double kMinFps = 0.01;

  // Whether Start takes this rate: a finite number from kMinFps to kMaxFps whose period is at
  // least one counter count. Anything computed from a rate is computed after this says yes.
  static bool RateAccepted(double fps, uint64_t frequency);

  // Refused (false, nothing changed) while running, for a rate RateAccepted refuses, for an
  // empty tick callback, or when no timer can be opened. The callables are taken over whatever
  // the outcome.
  bool Start(double fps, TickCallback tick_callback, bool realtime, VsyncActive vsync_active);
  // The display-locked schedule for the next Start (null: vsync ticks run back to back). It
  // must outlive the pace thread.
  void SetSchedule(TickSchedule* schedule) { schedule_ = schedule; }
  // The mode the last tick ran in (before the first: the one it is expected to start in).
  CadenceMode Mode() const { return mode_.load(std::memory_order_relaxed); }
  // Stops and joins the pace thread. Safe when not started and safe twice; never call it from
  // inside the tick callback.
  void Stop();

  double MeasuredFps() const { return measuredFps_.load(std::memory_order_relaxed); }
  uint64_t MissedTicks() const { return missed_.load(std::memory_order_relaxed); }
  // How early the timer is armed before a target (the rest is spun), in counter counts: learned
  // from the timer's own overshoots (WakeMargin).
  int64_t WakeMarginCounts() const { return wakeMarginCounts_.load(std::memory_order_relaxed); }
  // Ticks issued since Start: the index the next tick will get.
  uint64_t TicksIssued() const { return tickCounter_.load(); }

  // Counts per tick at the given rate: the reciprocal of the rate times the frequency, truncated.
  static uint64_t PeriodCounts(double fps, uint64_t frequency);

 private:
  void ThreadMain();
  void Tick(uint64_t tick, uint64_t target, uint64_t wake);
  // Sleeps until `margin` before `target` and spins the rest; false when stopped meanwhile.
  // Every timer wake teaches both margins.
  bool WaitUntil(uint64_t target, WakeMargin& margin);

  std::unique_ptr<PacePlatform> platform_;
  std::thread worker_;
  std::atomic<bool> running_{false};
  double fps_ = 60.0;
  bool realtime_ = false;
  TickCallback tickCallback_;
  VsyncActive vsyncActive_;
  TickSchedule* schedule_ = nullptr;
  std::atomic<CadenceMode> mode_{CadenceMode::kEveryRefresh};
  std::atomic<double> measuredFps_{0.0};
  std::atomic<uint64_t> missed_{0};
  std::atomic<uint64_t> tickCounter_{0};
  std::atomic<int64_t> wakeMarginCounts_{0};
  // The pace thread's while it runs: timer mode's, and the display-locked mode's (a rarer tail).
  std::unique_ptr<WakeMargin> margin_;
  std::unique_ptr<WakeMargin> lockedMargin_;
  bool timerResolutionRaised_ = false;
};

}  // namespace tsl

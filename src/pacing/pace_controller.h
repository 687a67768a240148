#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "pacing/cadence_schedule.h"
#include "pacing/pace_platform.h"
#include "pacing/wake_margin.h"

namespace tsl {

// Tick index, target time and wake time, all raw counter values.
using TickCallback = std::function<void(uint64_t, uint64_t, uint64_t)>;
// True while presentation is locked to the display refresh: ticks then run back to back.
using VsyncActive = std::function<bool()>;

// Owns the pace thread, which issues ticks as the schedule of the mode in force plans them
// (cadence_schedule.h): it sleeps on a waitable timer until a margin before each target (learned
// from the timer's overshoots, 0.5 ms to start with) and spins the rest, or ticks at once where
// the plan says so. The vsync predicate and the display lock choose the schedule, again before
// every tick.
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
  // The schedule for the mode the vsync switch and the display lock make.
  CadenceSchedule& Choose(bool vsync);
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
  // One a mode, made at Start for its rate and display lock.
  std::unique_ptr<TimerSchedule> timer_;
  std::unique_ptr<EveryRefreshSchedule> everyRefresh_;
  std::unique_ptr<LockedSchedule> locked_;
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

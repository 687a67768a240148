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

// Owns the pace thread, which issues ticks at a fixed rate measured on the high-resolution
// counter: it sleeps on a waitable timer until a margin before each target (learned from the
// timer's overshoots, 0.5 ms to start with) and spins the rest, or,
// while the vsync predicate says so, runs ticks back to back and lets the blocking present set
// the cadence.
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

  // Refused (false, nothing changed) while running, for a rate that is not a positive finite
  // number, above kMaxFps or with a period under one counter count, for an empty tick callback,
  // or when no timer can be opened. The callables are taken over whatever the outcome.
  bool Start(double fps, TickCallback tick_callback, bool realtime, VsyncActive vsync_active);
  // Stops and joins the pace thread. Safe when not started and safe twice; never call it from
  // inside the tick callback.
  void Stop();

  double MeasuredFps() const { return measured_fps_.load(std::memory_order_relaxed); }
  uint64_t MissedTicks() const { return missed_.load(std::memory_order_relaxed); }
  // How early the timer is armed before a target (the rest is spun), in counter counts: learned
  // from the timer's own overshoots (WakeMargin).
  int64_t WakeMarginCounts() const { return wake_margin_counts_.load(std::memory_order_relaxed); }
  // Ticks issued since Start: the index the next tick will get.
  uint64_t TicksIssued() const { return tick_counter_.load(); }

  // Counts per tick at the given rate: the reciprocal of the rate times the frequency, truncated.
  static uint64_t PeriodCounts(double fps, uint64_t frequency);

 private:
  void ThreadMain();
  void Tick(uint64_t tick, uint64_t target, uint64_t wake);

  std::unique_ptr<PacePlatform> platform_;
  std::thread worker_;
  std::atomic<bool> running_{false};
  double fps_ = 60.0;
  bool realtime_ = false;
  TickCallback tick_callback_;
  VsyncActive vsync_active_;
  std::atomic<double> measured_fps_{0.0};
  std::atomic<uint64_t> missed_{0};
  std::atomic<uint64_t> tick_counter_{0};
  std::atomic<int64_t> wake_margin_counts_{0};
  std::unique_ptr<WakeMargin> margin_;  // the pace thread's while it runs
  bool timer_resolution_raised_ = false;
};

}  // namespace tsl

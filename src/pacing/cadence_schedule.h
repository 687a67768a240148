#pragma once

// One schedule per cadence mode, behind one interface: the pace thread asks the schedule in
// force for its next tick's plan, waits as the plan says, asks whether the wake is still in
// time, runs the tick and tells the schedule it ran. The loop keeps the waiting, the wake and
// the rate's measurement; the decisions (when, how many slots were given up, which early wake)
// are the schedules'. A variable-refresh mode would be one more schedule and one more case in
// PaceController::Choose.

#include <cstdint>

#include "pacing/pace_platform.h"

namespace tsl {

// How the ticks run, as the pace thread ran its last one: the one name of the mode in force
// (the product of the vsync switch, whether a display lock exists and whether it has a clock
// now), which the title reads instead of working it out again.
enum class CadenceMode : uint8_t {
  kEveryRefresh,  // vsync on, no lock: each blocking present sets the pace
  kLocked,        // vsync on: each tick timed against the display's blanks by the lock
  kNoClock,       // vsync on with a lock that has nothing to lock to: back to back
  kTimer,         // vsync off: ticks on the timer at the requested rate
};

// The display-locked schedule's source of targets (the display lock): while vsync is on, the
// ticks' targets come from the display's blanks instead of a fixed period. Called on the pace
// thread only.
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
  // Asked at the wake before InTime: true when the tick was moved a refresh later (the present
  // before it has not reached the glass yet, and would otherwise be cut short). It is then
  // planned again, and nothing is missed.
  virtual bool Deferred(uint64_t wake) {
    (void)wake;
    return false;
  }
  // True when a wake later than its target costs a slot (one frame in flight): the early wake
  // then absorbs the largest overshoots, at the price of spinning. False when a late wake only
  // costs latency, and the timer's usual tail will do.
  virtual bool EveryWakeCounts() const { return true; }
  // Whether NextTarget would find a clock to lock to now: the mode a start begins in.
  virtual bool HasClock() const { return true; }
};

// The next tick as a schedule plans it.
struct TickPlan {
  CadenceMode mode = CadenceMode::kTimer;
  bool wait = false;          // wait (sleep, then spin) until `target`; else tick at once
  uint64_t target = 0;        // the tick's target
  bool back_to_back = false;  // no target but the tick itself: it is the wake
  bool rare_tail = false;     // the early wake must absorb the largest overshoots (a late wake
                              // costs a slot), not only the timer's usual tail
  uint64_t skipped = 0;       // slots given up before it, each a missed tick
};

class CadenceSchedule {
 public:
  virtual ~CadenceSchedule() = default;
  // The mode this schedule runs now (before its first plan: the one it would start in).
  virtual CadenceMode Mode() const = 0;
  // Taking over at `now` from another schedule (or at the pace thread's start).
  virtual void Resume(uint64_t now) { (void)now; }
  virtual TickPlan Plan(uint64_t now) = 0;
  // The planned tick woke at `wake`: true moved it later (plan again, nothing missed).
  virtual bool Deferred(uint64_t wake) {
    (void)wake;
    return false;
  }
  // The planned tick woke at `wake`: false gives it up (one miss, no tick).
  virtual bool InTime(uint64_t wake) {
    (void)wake;
    return true;
  }
  // The tick ran from `from` to `to`.
  virtual void Ticked(uint64_t from, uint64_t to, PacePlatform& os) {
    (void)from;
    (void)to;
    (void)os;
  }
};

// Vsync off: a target every period on the counter. A tick more than a whole period late
// re-bases the schedule instead of catching up with a burst, and counts one miss however many
// periods were lost.
class TimerSchedule final : public CadenceSchedule {
 public:
  explicit TimerSchedule(uint64_t period) : period_(period) {}
  CadenceMode Mode() const override { return CadenceMode::kTimer; }
  void Resume(uint64_t now) override { target_ = now + period_; }
  TickPlan Plan(uint64_t now) override;
  void Ticked(uint64_t, uint64_t, PacePlatform&) override { target_ += period_; }

 private:
  uint64_t period_;
  uint64_t target_ = 0;
};

// Vsync on without a display clock: ticks back to back, each blocking present setting the pace.
// A tick that did not block (no display to wait for) is followed by a short sleep, or the
// thread would spin.
class EveryRefreshSchedule final : public CadenceSchedule {
 public:
  EveryRefreshSchedule(uint64_t period, CadenceMode mode) : period_(period), mode_(mode) {}
  CadenceMode Mode() const override { return mode_; }
  TickPlan Plan(uint64_t now) override;
  void Ticked(uint64_t from, uint64_t to, PacePlatform& os) override;

 private:
  uint64_t period_;
  CadenceMode mode_;
};

// Vsync on with a display lock: its targets while it has a clock, back to back while not.
class LockedSchedule final : public CadenceSchedule {
 public:
  LockedSchedule(TickSchedule& lock, uint64_t period)
      : lock_(lock), backToBack_(period, CadenceMode::kNoClock) {}
  CadenceMode Mode() const override;
  TickPlan Plan(uint64_t now) override;
  bool Deferred(uint64_t wake) override { return locked_ && lock_.Deferred(wake); }
  bool InTime(uint64_t wake) override { return !locked_ || lock_.InTime(wake); }
  void Ticked(uint64_t from, uint64_t to, PacePlatform& os) override;

 private:
  TickSchedule& lock_;
  EveryRefreshSchedule backToBack_;
  bool planned_ = false;
  bool locked_ = false;  // the last plan came from the lock
};

}  // namespace tsl

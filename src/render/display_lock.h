#pragma once

// The display-locked cadence: ticks timed against the display's own blanks, so that each output
// frame reaches the glass at the blank its pattern gives it and stays its number of refreshes.
//
// - The blanks come from a VblankClock: the grid the platform states, then the swap chain's
//   reports.
// - --fps becomes a RefreshPattern on that grid: frame n is meant to reach the blank its pattern
//   start gives, counted on from the one before (each blank snapped to the grid, so the schedule
//   follows the clock as it is refined).
// - Each tick wakes a lead before its blank, takes its frame and presents with sync interval 1
//   and one frame in flight. The lead starts at 2 ms; a miss makes it larger, clean stretches
//   smaller (half the way to the floor per clean stretch), never below the latch (learned from
//   presents that landed late), the tick's own cost (p99) and the wake's lateness (p99.9).
// - The schedule never re-bases to "now": a slot whose time has passed, or a wake too late for a
//   typical tick (its median cost) to make the blank, is given up and the next slot of the
//   pattern taken (a miss).
// - Landing: the statistics say at which refresh each present reached the glass. The delay from
//   its blank (0 refreshes on an independent flip, 1 through a compositor) is learned as the
//   smallest seen; a present landing later than that slipped (counted, and the lead grows).
// - Each tick also gets the moment its source frame is chosen for: evenly spaced at the pattern's
//   average rate, never after the tick itself, so that uneven patterns (2-3) do not make the
//   source sampling uneven too.
//
// Portable: the pace thread calls NextTarget, InTime, TickAt, OnPresented and OnStatistics; the
// main thread SetStated and Status.

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "pacing/pace_controller.h"
#include "pacing/refresh_pattern.h"
#include "pacing/vblank_clock.h"
#include "render/present_tracker.h"

namespace tsl {

struct LockedTick {
  uint64_t frame = 0;       // the output frame's index in the pattern
  uint64_t blank_qpc = 0;   // the blank it is meant to reach
  uint64_t target_qpc = 0;  // when its tick takes a frame and presents: the blank less the lead
  uint64_t sample_qpc = 0;  // the evenly spaced moment its source frame is chosen for
  uint32_t refreshes = 0;   // how many refreshes it is meant to stay
};

struct CadenceStatus {
  bool locked = false;  // a grid exists: ticks follow it
  std::string pattern;  // "2", "2-3"
  double refresh_hz = 0.0;
  BlankSource source = BlankSource::kNone;
  uint64_t slips = 0;  // presents that reached the glass later than their blank allowed
  double lead_ms = 0.0;
};

class DisplayLock final : public TickSchedule {
 public:
  DisplayLock(uint64_t frequency, double fps);

  // The grid the platform states for the window's display (a new monitor or mode starts the
  // clock over).
  void SetStated(const BlankGrid& stated);

  bool NextTarget(uint64_t now, uint64_t& target, uint64_t& skipped) override;
  bool InTime(uint64_t wake) override;

  // The locked tick whose target this is; false for a tick the lock did not schedule.
  bool TickAt(uint64_t target_qpc, LockedTick& tick) const;
  // After that tick's work: whether a present was made, its id, and when the tick woke and was
  // done.
  void OnPresented(bool made, uint32_t present_id, uint64_t wake_qpc, uint64_t done_qpc);
  void OnStatistics(StatisticsRead read, const FrameStatistics& stats);

  CadenceStatus Status() const;

 private:
  struct Sent {
    uint32_t id;
    uint64_t blank_qpc;
    uint64_t done_qpc;
    bool judged;
  };
  // The tick for pattern frame `frame` at `blank`.
  LockedTick Slot(uint64_t frame, double blank, const BlankGrid& grid) const;
  void FollowGrid(const BlankGrid& grid);
  // The longest lead: half a refresh, at least 2 ms.
  double Ceiling() const;
  void Miss();
  void Learn();
  void Landed(const FrameStatistics& stats);

  mutable std::mutex mutex_;
  const uint64_t frequency_;
  const double fps_;
  VblankClock clock_;
  RefreshPattern pattern_;
  double patternPeriodQpc_ = 0.0;  // the grid period the pattern was made for
  bool haveSlot_ = false;
  LockedTick slot_;
  double slotBlank_ = 0.0;  // unrounded
  // The lead and what bounds it, in counts.
  double lead_;
  double latch_;
  double floor_;
  double costP50_ = 0.0;  // of a tick's work, from its wake until it is done
  double costP99_ = 0.0;
  uint64_t clean_ = 0;            // ticks since the last miss or the last shortening
  std::vector<double> costs_;     // the ticks' wake-to-done times, a ring
  std::vector<double> lateness_;  // their wakes after target, a ring
  size_t nextSample_ = 0;
  size_t samples_ = 0;
  std::vector<Sent> sent_;  // the last presents made, a ring
  size_t nextSent_ = 0;
  bool haveDelay_ = false;
  int64_t delay_ = 0;  // refreshes from a present's blank to its landing, the smallest seen
  uint64_t slips_ = 0;
};

}  // namespace tsl

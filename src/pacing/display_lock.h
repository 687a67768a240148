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
//   and one frame in flight (or, with a frame latency of 2, a refresh earlier with two in
//   flight, each image held its refreshes by its sync interval: a hiccup of up to about a
//   refresh then costs latency, not a slip). The lead, its floor and the latch are the
//   LeadLearner's; nothing is learned or judged until the grid comes from the swap chain's own
//   statistics (against a stated grid that may be off by any phase, a slip says nothing).
// - The schedule never re-bases to "now": a slot whose time has passed, or a wake (or the
//   wait for the swap chain after it) too late for a typical tick (its median cost) to make the
//   blank, is given up and the next slot taken (a miss). Patterns of uneven frames (2-3) keep
//   their phase; for frames of one length the next blank of the grid is as good.
// - With one frame in flight and frames of one length, two refreshes or more, a tick whose
//   image before reached the glass late (or not yet, though due) moves a refresh later
//   (Deferred), so that image keeps its whole run: one long run for a hiccup or a slow draw,
//   not a long and a short. An uneven pattern keeps its phase: the late image is cut short,
//   and the next is on time at its own slot.
// - Landing: the LandingJudge reads where each present reached the glass against its blank,
//   and asks the schedule to move as many refreshes later as a queue is too deep, hold an
//   image a refresh longer (a queue too shallow), or make a present at another lead (a probe).
//   Only presents made for a blank of the statistics' grid are judged.
// - A disjoint (a mode change, a new swap chain) starts the slot and the learning over and asks
//   the main thread to restate the display's timing (TakeRestateRequest).
// - Each tick also gets the moment its source frame is chosen for: evenly spaced at the pattern's
//   average rate, never after the tick itself, so that uneven patterns (2-3) do not make the
//   source sampling uneven too.
//
// Portable: the pace thread calls NextTarget, Deferred, InTime, TickAt, StillInTime, OnPresented
// and OnStatistics; the main thread SetStated, TakeRestateRequest and Status.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "base/guarded.h"
#include "measure/display_vocabulary.h"
#include "pacing/landing_judge.h"
#include "pacing/lead_learner.h"
#include "pacing/lock_facts.h"
#include "pacing/pace_controller.h"
#include "pacing/refresh_pattern.h"
#include "pacing/slot_plan.h"
#include "pacing/vblank_clock.h"

namespace tsl {

struct CadenceStatus {
  bool locked = false;  // a grid exists: ticks follow it
  std::string pattern;  // "2", "2-3"
  double refresh_hz = 0.0;
  BlankSource source = BlankSource::kNone;
  uint64_t slips = 0;  // presents that reached the glass later than their blank allowed
  double lead_ms = 0.0;
  double latch_ms = 0.0;
  uint32_t frame_latency = 1;
  bool above_refresh = false;  // --fps is above the refresh rate: one frame a refresh
};

class DisplayLock final : public TickSchedule {
 public:
  // `frame_latency`: presents in flight, 1 (the lowest latency) or 2 (each made a refresh ahead
  // of its blank).
  DisplayLock(uint64_t frequency, double fps, uint32_t frame_latency = 1);

  // The grid the platform states for the window's display (a new monitor or mode starts the
  // clock over).
  void SetStated(const BlankGrid& stated);

  bool NextTarget(uint64_t now, uint64_t& target, uint64_t& skipped) override;
  // With one frame in flight: the statistics are read again at the wake (`ReadLandingsWith`), and
  // when the last present has not reached the glass at the blank it was due (the compositor
  // took it a refresh late, or it slipped), this tick moves a refresh later, so that image stays
  // its whole length rather than a refresh less. Once for each present.
  bool Deferred(uint64_t wake) override;
  bool InTime(uint64_t wake) override;
  // False with two frames in flight: a late wake then costs latency, not a slot.
  bool EveryWakeCounts() const override;
  bool HasClock() const override;

  // The locked tick whose target this is; false for a tick the lock did not schedule.
  bool TickAt(uint64_t target_qpc, LockedTick& tick) const;
  // After the waits that precede the tick's take (the swap chain's): whether a present made
  // `now` still makes the tick's blank. False gives the slot up: no present is made for it, the
  // previous image stays a refresh more, and the miss is counted with the next target.
  bool StillInTime(uint64_t now);
  // After that tick's work: whether a present was made, its id, and when the tick woke and was
  // done.
  void OnPresented(bool made, uint32_t present_id, uint64_t wake_qpc, uint64_t done_qpc);
  void OnStatistics(StatisticsRead read, const FrameStatistics& stats);
  // How the pace thread reads the display's statistics at a wake: only what is on the glass
  // is taken from it there (landings are judged after each present, where the next tick is
  // planned from what they taught). Set before the pace thread starts.
  using StatisticsReader = std::function<StatisticsRead(FrameStatistics&)>;
  void ReadLandingsWith(StatisticsReader read) { readLandings_ = std::move(read); }

  CadenceStatus Status() const;
  // True once after a disjoint: the display's timing may have changed, and the platform should
  // be asked again (SetStated).
  bool TakeRestateRequest() { return restateWanted_.exchange(false); }

 private:
  // The tick for pattern frame `frame` at `blank`, at the lead learned (read now: a miss on
  // the way may have raised it).
  LockedTick Slot(uint64_t frame, double blank, const BlankGrid& grid, const LockFacts& facts) const
      REQUIRES(mutex_) {
    return TickFor(pattern_.Pattern(), frame, blank, grid.period_qpc, learner_.Lead() + facts.ahead,
                   facts.held_by_interval);
  }
  void Miss() REQUIRES(mutex_);
  // Whether a tick at `now` can still make its slot's blank (or is about on time for it).
  bool CanMakeSlot(uint64_t now) const REQUIRES(mutex_);
  // The slot and everything learned from landings start over.
  void Restart() REQUIRES(mutex_);
  // The schedule's shape now: images held by their sync interval, the longest lead.
  LockFacts Facts() const REQUIRES(mutex_) {
    return LockFacts::For(frequency_, frameLatency_, pattern_.Pattern(), clock_.Grid());
  }

  mutable base::Mutex mutex_;
  const uint64_t frequency_;
  const uint32_t frameLatency_;
  VblankClock clock_ GUARDED_BY(mutex_);
  GridPattern pattern_ GUARDED_BY(mutex_);
  bool haveSlot_ GUARDED_BY(mutex_) = false;
  LockedTick slot_ GUARDED_BY(mutex_);
  double slotBlank_ GUARDED_BY(mutex_) = 0.0;  // unrounded
  bool slotOnStatistics_ GUARDED_BY(mutex_) = false;  // its blank is the statistics' grid's
  uint64_t lastDone_ GUARDED_BY(mutex_) = 0;   // the last present made: when it was done (0: none)
  uint32_t lastSync_ GUARDED_BY(mutex_) = 1;   // and its sync interval
  LeadLearner learner_ GUARDED_BY(mutex_);     // the lead, its floor and the latch
  // Slots given up after their wake, counted with the next target.
  uint64_t pendingMisses_ GUARDED_BY(mutex_) = 0;
  bool deferred_ GUARDED_BY(mutex_) = false;  // the slot moved a refresh later: plan it again
  std::atomic<bool> restateWanted_{false};
  StatisticsReader readLandings_;          // the pace thread's alone
  LandingJudge judge_ GUARDED_BY(mutex_);  // what the statistics say of the presents made
};

}  // namespace tsl

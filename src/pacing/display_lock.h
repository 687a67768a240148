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
//   refresh then costs latency, not a slip). The lead starts
//   at 2 ms; a miss makes it larger, clean stretches smaller (half the way to the floor per
//   clean stretch), never below the latch, the tick's own cost and the wake's lateness (p99.9),
//   at most 0.8 of a refresh. With one frame in flight the cost is the slowest tick of the last
//   8,192 and each slip raises the floor for minutes (the GPU's share of a tick is not in its
//   measured cost); with two its p99.5.
// - The latch (how long before its blank a present must be done) is learned from both sides:
//   a present that slipped says it is more than that present's margin, one that landed says it
//   is at most its margin. What slips taught decays again over clean stretches. Nothing is
//   learned or judged until the grid comes from the swap chain's own statistics: against a
//   stated grid that may be off by any phase, a slip says nothing about the latch.
// - The schedule never re-bases to "now": a slot whose time has passed, or a wake (or the
//   wait for the swap chain after it) too late for a typical tick (its median cost) to make the
//   blank, is given up and the next slot taken (a miss). Patterns of uneven frames (2-3) keep
//   their phase; for frames of one length the next blank of the grid is as good.
// - Landing: the statistics say at which refresh each present reached the glass. The delay from
//   its blank (0 refreshes on an independent flip, 1 through a compositor) starts at 0 and is
//   raised only by a present made so early (3 ms, more than any latch, or most of the longest
//   lead) that it cannot have missed its blank: a lock that is always one refresh late looks
//   like composition otherwise. A present landing later than the delay starts a probe: the next
//   presents are made at the longest lead (with two frames in flight: one slot is given up, so
//   a queue one image too deep drains), and the first of them to land says whether the late one
//   slipped (counted; the latch and the lead learn from it) or the compositor is there.
//   With two frames in flight both depths of the queue land steadily, so where the platform
//   does not say, one present is made half a refresh before its blank once the landings settle:
//   a compositor lands it a refresh late (the delay becomes 1, and stays so across a restart),
//   a flip in time.
// - A disjoint (a mode change, a new swap chain) starts the slot and the learning over and asks
//   the main thread to restate the display's timing (TakeRestateRequest).
// - Each tick also gets the moment its source frame is chosen for: evenly spaced at the pattern's
//   average rate, never after the tick itself, so that uneven patterns (2-3) do not make the
//   source sampling uneven too.
//
// Portable: the pace thread calls NextTarget, InTime, TickAt, StillInTime, OnPresented and
// OnStatistics; the main thread SetStated, TakeRestateRequest and Status.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "base/fixed_ring.h"
#include "measure/display_vocabulary.h"
#include "pacing/pace_controller.h"
#include "pacing/refresh_pattern.h"
#include "pacing/vblank_clock.h"

namespace tsl {

struct LockedTick {
  uint64_t frame = 0;          // the output frame's index in the pattern
  uint64_t blank_qpc = 0;      // the blank it is meant to reach
  uint64_t target_qpc = 0;     // when its tick takes a frame and presents: the blank less the lead
  uint64_t sample_qpc = 0;     // the evenly spaced moment its source frame is chosen for
  uint32_t refreshes = 0;      // how many refreshes it is meant to stay
  uint32_t sync_interval = 1;  // its present's: with two frames in flight, its refreshes, so
                               // that the image stays them though the next present is queued
};

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

  CadenceStatus Status() const;
  // True once after a disjoint: the display's timing may have changed, and the platform should
  // be asked again (SetStated).
  bool TakeRestateRequest() { return restateWanted_.exchange(false); }

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
  // A present done this long before its blank cannot have missed it for the latch.
  double SurelyInTime() const;
  // Two frames in flight, and whether a compositor takes the presents is not known yet: the
  // next present is made to find out.
  bool WantsCompositionProbe(const BlankGrid& grid) const;
  // With two frames in flight, each image is held its refreshes by its sync interval, and each
  // present is made a refresh ahead of its blank (patterns of at most 4 refreshes a frame;
  // longer ones are made as with one frame in flight).
  bool HeldByInterval() const;
  // How much earlier than the lead before its blank a present is made.
  double Ahead(const BlankGrid& grid) const;
  void Miss();
  void Learn();
  void Landed(const FrameStatistics& stats);
  // A present done `before` its blank slipped: counted, and the latch and lead learn from it.
  void Slipped(double before);
  // One frame in flight: a present done too late for its blank. Counted, and the floor rises.
  void SlowTickSlipped();
  // What the slips and landings say of the latch, into latch_.
  void FollowLatch();
  // The slot and everything learned from landings start over.
  void Restart();

  mutable std::mutex mutex_;
  const uint64_t frequency_;
  const double fps_;
  const uint32_t frameLatency_;
  VblankClock clock_;
  RefreshPattern pattern_;
  double patternPeriodQpc_ = 0.0;  // the grid period the pattern was made for
  bool haveSlot_ = false;
  LockedTick slot_;
  double slotBlank_ = 0.0;  // unrounded
  // The lead and what bounds it, in counts.
  double lead_;
  double latch_;
  double slipLatch_ = 0.0;    // what slips taught: the latch is more than this (decays)
  double landedLatch_ = 0.0;  // what landings taught: the latch is at most this
  bool haveLanded_ = false;
  uint64_t sinceLatchSlip_ = 0;  // ticks since a slip taught the latch anything
  uint64_t pendingMisses_ = 0;   // slots given up after their wake, counted with the next target
  std::atomic<bool> restateWanted_{false};
  double floor_;
  double costP50_ = 0.0;  // of a tick's work, from its wake until it is done
  double costP99_ = 0.0;
  uint64_t clean_ = 0;                // ticks since the last miss or the last shortening
  base::FixedRing<double> costs_;     // the ticks' wake-to-done times
  base::FixedRing<double> lateness_;  // their wakes after target
  base::FixedRing<double> blockCosts_;  // the slowest tick of each learning's block
  double blockCostMost_ = 0.0;          // ... of the block being gathered
  double slipGuard_ = 0.0;              // added to the floor by slips (halves over clean ticks)
  uint64_t sinceSlipGuard_ = 0;
  size_t samples_ = 0;
  base::FixedRing<Sent> sent_;  // the last presents made
  // Refreshes from a present's blank to its landing: 0 until a present made too early to have
  // missed lands later (a compositor); the smallest seen since.
  int64_t delay_ = 0;
  // A present landed later than that: the next ones are made at the longest lead until one of
  // them lands (then the first one slipped) or lands late too (then the compositor did it).
  bool probing_ = false;
  double probeCause_ = 0.0;   // how long before its blank the late one was done
  uint32_t probeFromId_ = 0;  // presents made after this one are the probe's
  double leadBeforeProbe_ = 0.0;
  bool drain_ = false;           // two frames in flight: give the next slot up
  uint32_t drainThroughId_ = 0;  // late landings of presents up to this one are that drain's
  bool hold_ = false;            // two frames in flight: hold the next image a refresh longer
  uint32_t holdThroughId_ = 0;   // early landings of presents up to this one are the hold's
  uint32_t lastSentId_ = 0;
  uint64_t slips_ = 0;
  // Two frames in flight: whether a compositor takes the presents (then the delay is 1), told
  // by the platform, or learned from one present made late for a compositor's blank.
  bool toldComposition_ = false;
  bool compositionKnown_ = false;
  bool compositionProbeNext_ = false;  // the slot just scheduled is that present
  uint32_t compositionProbeId_ = 0;    // its id, until it lands (0: none)
  uint32_t inTimeLandings_ = 0;        // since the last late or early landing
  bool refillAfterRestart_ = false;    // a restart kept the compositor: the first landing a
                                       // refresh early refills the queue, and asks nothing
};

}  // namespace tsl

#pragma once

// What the swap chain's statistics say of the presents the display lock made: at which refresh
// each reached the glass against the blank it was made for, and what the schedule should do
// about it.
//
// - The delay expected from its blank (0 refreshes on an independent flip, 1 through a
//   compositor) is what the platform says where it says (media statistics). Elsewhere it is 0
//   until a present made so early (3 ms, more than any latch, or most of the longest lead) that
//   it cannot have missed its blank lands later: a lock that is always one refresh late looks
//   like composition otherwise.
// - A present landing later than that starts a probe: the next presents are made at the longest
//   lead (with two frames in flight: the schedule moves as many refreshes later as the present
//   landed late, so a queue too deep drains), and the first of them to land says whether the late
//   one slipped (counted; the latch and the lead learn from it) or the compositor is there.
// - With two frames in flight a landing a refresh early (the queue ran short) holds the next
//   image a refresh longer. Where the platform does not say whether a compositor takes the
//   presents, a CompositionProbe asks once the landings settle (the delay becomes 1 where it
//   finds one).
//
// Not thread-safe: the display lock holds its mutex around every call.

#include <cstdint>

#include "base/fixed_ring.h"
#include "measure/display_vocabulary.h"
#include "pacing/composition_probe.h"
#include "pacing/lead_learner.h"
#include "pacing/lock_facts.h"
#include "pacing/vblank_clock.h"

namespace tsl {

class LandingJudge {
 public:
  LandingJudge();

  // The slot and everything learned from landings start over (a new grid, a disjoint); a lead
  // a probe took is given back.
  void Restart(const LockFacts& facts, LeadLearner& learner);
  // The tick just scheduled for `blank` is made as the composition probe where one is wanted
  // now: `target` moves.
  void ProbeComposition(const LockFacts& facts, const LeadLearner& learner, const BlankGrid& grid,
                        double blank, uint64_t& target);
  // A tick ended: whether it made a present, its id, its blank and when it was done, and
  // whether that blank was one of the statistics' grid (against a stated grid of any phase, its
  // landing says nothing, and is not judged).
  void OnPresented(bool made, uint32_t present_id, uint64_t blank_qpc, uint64_t done_qpc,
                   bool on_statistics);
  // The statistics of a grid that came from them.
  void Judge(const FrameStatistics& stats, const BlankGrid& grid, const LockFacts& facts,
             LeadLearner& learner);
  // Whether the last present made reached the glass later than it was due (its blank and the
  // delay), or has not reached it though due, by `stats` read now. True once a present.
  bool Overdue(const FrameStatistics& stats, double period);
  // What the schedule is asked to do, once each: move this many refreshes later (a queue too
  // deep; 0: none), hold the next image a refresh longer (a queue that ran short).
  uint32_t TakeDrain();
  bool TakeHold();
  uint64_t Slips() const { return slips_; }

 private:
  struct Sent {
    uint32_t id;
    uint64_t blank_qpc;
    uint64_t done_qpc;
    bool judged;
  };
  // A present done `before` its blank slipped: counted, and the latch and lead learn from it.
  void Slipped(double before, const LockFacts& facts, LeadLearner& learner);
  // One frame in flight: a present done too late for its blank. Counted, and the floor rises.
  void SlowTickSlipped(const LockFacts& facts, LeadLearner& learner);
  // Holds the next image a refresh longer, unless `id` was made before the last such hold.
  void Refill(uint32_t id);
  // The schedule moves `refreshes` later: the queue is that much too deep.
  void Drain(int64_t refreshes);

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
  // Two frames in flight: refreshes the queue is too deep, for the schedule to move later.
  uint32_t drain_ = 0;
  uint32_t drainThroughId_ = 0;  // late landings of presents up to this one are that drain's
  bool hold_ = false;            // two frames in flight: hold the next image a refresh longer
  uint32_t holdThroughId_ = 0;   // early landings of presents up to this one are the hold's
  uint32_t lastSentId_ = 0;
  uint32_t overdueId_ = 0;  // the last present called overdue
  uint64_t slips_ = 0;
  // Two frames in flight: whether a compositor takes the presents (then the delay is 1).
  CompositionProbe composition_;
  uint32_t inTimeLandings_ = 0;        // since the last late or early landing
  bool refillAfterRestart_ = false;    // a restart kept the compositor: the first landing a
                                       // refresh early refills the queue, and asks nothing
};

}  // namespace tsl

#pragma once

// How long before its blank a display-locked tick must wake: the lead, the floor it comes back
// down to, and the latch (how long before its blank a present must be done to make it), learned
// from the ticks' own costs and lateness and from what slips and landings say.
//
// - The floor is the latch, plus the tick's own work, plus the p99.9 of the wake's lateness,
//   plus a guard. With one frame in flight a tick slower than the lead is a repeat on the glass,
//   so its work counts at the slowest of the last 8,192 ticks and each slip adds a step that
//   halves over minutes without one (the GPU's share of a tick is not in its measured cost);
//   with two, at its p99.5.
// - A miss lengthens the lead a step; clean stretches take it half the way down to the floor.
// - The latch is assumed, then learned from both sides: a present that slipped says it is more
//   than that present's margin, one that landed says it is at most its margin. What slips
//   taught comes halfway back over long clean stretches.
//
// Every length is in counter counts; `ceiling` (the longest lead the display's refresh allows)
// is the caller's. Not thread-safe: the display lock holds its mutex around every call.

#include <cstdint>

#include "base/fixed_ring.h"
#include "base/qpc.h"

namespace tsl {

class LeadLearner {
 public:
  explicit LeadLearner(uint64_t frequency);

  double Lead() const { return lead_; }
  double Latch() const { return latch_; }
  // A typical tick's work (p50), and its tail (p99.5), from wake to done.
  double CostP50() const { return costP50_; }
  double CostP99() const { return costP99_; }

  void SetLead(double lead) { lead_ = lead; }
  // A slot given up: the lead a step longer.
  void Miss(double ceiling);
  // A tick's work took `cost` and it woke `late` after its target. `tail_counts`: one frame in
  // flight, where the slowest tick sets the floor.
  void OnTick(double cost, double late, bool tail_counts, double ceiling);
  // A present done `before` its blank landed in time (one frame in flight: the latch is at most
  // that).
  void Landed(double before);
  // What the slips and landings say of the latch, into the latch.
  void FollowLatch(double ceiling);
  // One frame in flight: a present done `before` its blank slipped, found by a probe made at
  // the longest lead after the lead was `lead_before`. The latch learns from it unless a
  // present made as late has landed; the lead goes back, a step longer, and the floor rises.
  void LatchSlipped(double before, double lead_before, double ceiling);
  // One frame in flight: a present done too late for its blank for its own cost.
  void SlowTickSlipped(double ceiling);

 private:
  void Learn(bool tail_counts, double ceiling);
  double Us(double us) const { return base::QpcFromUs(us, frequency_); }

  uint64_t frequency_;
  double lead_;
  double latch_;
  double floor_ = 0.0;
  double costP50_ = 0.0;
  double costP99_ = 0.0;
  uint64_t clean_ = 0;                  // ticks since the last miss or the last shortening
  base::FixedRing<double> costs_;       // the ticks' wake-to-done times
  base::FixedRing<double> lateness_;    // their wakes after target
  base::FixedRing<double> blockCosts_;  // the slowest tick of each learning's block
  double blockCostMost_ = 0.0;          // ... of the block being gathered
  size_t samples_ = 0;
  double slipLatch_ = 0.0;    // what slips taught: the latch is more than this (decays)
  double landedLatch_ = 0.0;  // what landings taught: the latch is at most this
  bool haveLanded_ = false;
  uint64_t sinceLatchSlip_ = 0;  // ticks since a slip taught the latch anything
  double slipGuard_ = 0.0;       // added to the floor by slips (halves over clean ticks)
  uint64_t sinceSlipGuard_ = 0;
};

}  // namespace tsl

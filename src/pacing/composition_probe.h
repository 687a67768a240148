#pragma once

// Whether a compositor takes the display lock's presents, where the platform does not say. With
// two frames in flight a queue a refresh deeper (through a compositor) and one as deep as a flip
// needs both land steadily, so the landings alone cannot tell them apart. Once they settle, one
// present is made half a refresh before its blank (its frame chosen as before): after the blank
// a compositor would take it at, in time for the glass itself. Through a compositor it lands a
// refresh late (one repeat, once), and the queue is then as deep as a compositor needs; on a flip
// it lands in time. What was learned stands across a restart: a new mode does not take the window
// from its compositor.
//
// Not thread-safe: the landing judge's, under the display lock's mutex.

#include <cstdint>

#include "pacing/lead_learner.h"
#include "pacing/lock_facts.h"
#include "pacing/vblank_clock.h"

namespace tsl {

class CompositionProbe {
 public:
  // Whether the next present should be the probe: two frames in flight on a grid from the
  // statistics, nothing said or learned yet, the landings `settled` (in time a while, nothing
  // pending), and room for it in the refresh (made half a refresh early, it is done before the
  // next tick's target and in time for the latch).
  bool Wanted(const LockFacts& facts, const LeadLearner& learner, const BlankGrid& grid,
              bool settled) const;
  // The tick just scheduled for `blank` makes the probe: its target.
  uint64_t Schedule(double blank, double period);
  void OnPresented(bool made, uint32_t present_id);
  // Whether the landing of `present_id` answers the probe: the probe's own, or (where the
  // statistics passed it by) one queued behind it. Once.
  bool Answers(uint32_t present_id);
  // A present or probe still pending is forgotten; what was learned stays.
  void Restart();

  // Whether the platform says how each image was composed (then nothing needs probing).
  void Told(bool told) { told_ = told; }
  // Whether a compositor's presence is known: learned by the probe or from landings.
  bool Known() const { return known_; }
  void SetKnown(bool known) { known_ = known; }

 private:
  bool told_ = false;
  bool known_ = false;
  bool next_ = false;  // the slot just scheduled is the probe
  uint32_t id_ = 0;    // its present, until it lands (0: none)
};

}  // namespace tsl

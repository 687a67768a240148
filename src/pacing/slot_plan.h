#pragma once

// Where the display lock's next tick falls: the blank its pattern frame is meant to reach,
// counted on from the slot before (or taken afresh), moved later for a queue too deep, and
// past slots whose time has gone; and the tick made for it. Arithmetic alone: the lock keeps
// the slot and what was learned, and says what it knows.

#include <cstdint>

#include "pacing/refresh_pattern.h"
#include "pacing/vblank_clock.h"

namespace tsl {

// The slot before, where there is one.
struct SlotBefore {
  bool valid = false;
  uint64_t frame = 0;  // its frame in the pattern
  double blank = 0.0;  // its blank, unrounded
};

// The last present made, where a fresh slot must let it stay its refreshes.
struct LastPresent {
  double ready = 0.0;  // when it could first be latched: done plus the latch (0: none)
  // The refreshes it is held: from 2 on (one present of a refresh is left to the wait for the
  // swap chain).
  uint32_t sync_interval = 1;
};

struct LockedTick {
  uint64_t frame = 0;          // the output frame's index in the pattern
  uint64_t blank_qpc = 0;      // the blank it is meant to reach
  uint64_t target_qpc = 0;     // when its tick takes a frame and presents: the blank less the lead
  uint64_t sample_qpc = 0;     // the evenly spaced moment its source frame is chosen for
  uint32_t refreshes = 0;      // how many refreshes it is meant to stay
  uint32_t sync_interval = 1;  // its present's: with two frames in flight, its refreshes, so
                               // that the image stays them though the next present is queued
};

struct SlotPlan {
  uint64_t frame = 0;
  double blank = 0.0;     // unrounded
  uint64_t given_up = 0;  // slots given up for it (their ticks are misses)
  bool late = false;      // among them, one whose time had passed (a wake too late)
};

// The next slot on `grid` for a tick at `now` that takes its frame `lead` before its blank. A
// fresh slot (none before, or one stale) comes no sooner than `last` leaves the glass, if its
// sync interval holds it. `drain`: refreshes the queue is too deep; the slot moves that much
// later (frames of one refresh give a slot up for each).
SlotPlan PlanSlot(const BlankGrid& grid, const RefreshPattern& pattern, const SlotBefore& before,
                  const LastPresent& last, double now, double lead, uint32_t drain);

// The tick for pattern frame `frame` at `blank` on a grid of `period`, taken `lead` before it.
// Its source frame is chosen for the pattern's evenly spaced moment, never after the take; with
// `held_by_interval` its present holds the image its refreshes.
LockedTick TickFor(const RefreshPattern& pattern, uint64_t frame, double blank, double period,
                   double lead, bool held_by_interval);

}  // namespace tsl

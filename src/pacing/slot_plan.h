#pragma once

// Where the display lock's next tick falls: the blank its pattern frame is meant to reach,
// counted on from the slot before (or taken afresh), moved later for a queue too deep, and
// past slots whose time has gone. Arithmetic alone: the lock keeps the slot and what was
// learned, and says what it knows.

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

}  // namespace tsl

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

struct SlotPlan {
  uint64_t frame = 0;
  double blank = 0.0;     // unrounded
  uint64_t given_up = 0;  // slots given up for it (their ticks are misses)
  bool late = false;      // among them, one whose time had passed (a wake too late)
};

// The next slot on `grid` for a tick at `now` that takes its frame `lead` before its blank.
// `held_until`: a fresh slot (none before, or one stale) comes no sooner than this blank, where
// the last present made leaves the glass (0: no such present). `drain`: refreshes the queue is
// too deep; the slot moves that much later (frames of one refresh give a slot up for each).
SlotPlan PlanSlot(const BlankGrid& grid, const RefreshPattern& pattern, const SlotBefore& before,
                  double now, double lead, double held_until, uint32_t drain);

}  // namespace tsl

#pragma once

// The display lock's schedule as its parts (the lock itself, the landing judge) need it, worked
// out from the counter's frequency, the frames in flight, the pattern and the grid: whether each
// image is held by its present's sync interval, how much earlier than its lead a present is
// made, the longest lead, and how long before its blank a present cannot have missed it.

#include <cstdint>

#include "pacing/refresh_pattern.h"
#include "pacing/vblank_clock.h"

namespace tsl {

struct LockFacts {
  // The longest a present's sync interval may be (the swap chain's limit).
  static constexpr uint32_t kMostSyncInterval = 4;

  static LockFacts For(uint64_t frequency, uint32_t frame_latency, const RefreshPattern& pattern,
                       const BlankGrid& grid);

  // Two frames in flight: each image held its refreshes by its sync interval, each present made
  // a refresh ahead of its blank (patterns of at most kMostSyncInterval refreshes a frame;
  // longer ones are made as with one frame in flight).
  bool held_by_interval = false;
  double ahead = 0.0;    // how much earlier than the lead before its blank, in counts
  double ceiling = 0.0;  // the longest lead, in counts: 0.8 of a refresh, at least 2 ms
  double surely = 0.0;   // a present done this long before its blank cannot have missed it
};

}  // namespace tsl

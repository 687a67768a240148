#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/fixed_ring.h"

namespace tsl {

// How early the pace thread arms its timer before a tick's target, learned from the timer
// itself: a timer that oversleeps by 2 ms on one machine and 20 us on another needs a different
// margin for the final spin to save every tick. The margin is a high percentile (p99.9) of the
// recent overshoots (how long past its due time each wake came) plus a small guard, kept between
// 0.2 ms and the smaller of 3 ms and a quarter of the tick period. Until enough wakes were seen
// it is 0.5 ms. A tail that must never be missed (the display-locked ticks: each new largest
// overshoot would cost a slot) stays at the ceiling until a long window is full, then comes
// down only to the largest overshoot of that window: learned from a few hundred wakes it would
// pay a slot for each new largest of the rare late ones. The price is spinning. All values in
// counter counts.
class WakeMargin {
 public:
  struct Tail {
    size_t window;      // the recent wakes it learns from
    double percentile;  // of their overshoots
    bool from_ceiling;  // at the ceiling until the window is full
  };
  static constexpr Tail kTimerTail{512, 0.999, false};
  static constexpr Tail kLockedTail{16'384, 1.0, true};
  static constexpr size_t kFirstLearned = 64;  // wakes seen before the margin follows them

  WakeMargin(uint64_t frequency, uint64_t period_counts, Tail tail = kTimerTail);

  // One timer wake: how long after its due time it came (negative: before).
  void Record(int64_t overshoot_counts);
  int64_t Counts() const { return margin_; }

 private:
  void Learn();

  Tail tail_;
  int64_t floor_;
  int64_t ceiling_;
  int64_t guard_;
  int64_t margin_;
  base::FixedRing<int64_t> recent_;  // the last tail_.window overshoots
  size_t seen_ = 0;
};

}  // namespace tsl

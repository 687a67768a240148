#pragma once

// Follows each present to the screen from what the swap chain reports: the id of every present
// (GetLastPresentCount after the call) and, once per tick, its frame statistics. Portable: the
// Windows glue feeds it.
//
// How the statistics are read here:
// - A sample says "present P first reached the screen at refresh R" (PresentCount,
//   PresentRefreshCount), plus a recent vertical blank (SyncRefreshCount, SyncQPCTime). Presents
//   are shown in the order they were made, so every present with an id up to P has left the
//   queue by then (retired); those above P are still pending.
// - P is placed at R, its screen time SyncQPCTime - (SyncRefreshCount - R) x the refresh period
//   (the counter time between two samples' blanks over their refresh counts). The presents
//   retired between two placed ones are placed too only when the evidence allows no other
//   reading: presents with sync intervals of 1 or more whose intervals add up to exactly the
//   refreshes between, each staying its interval (k sync-2 presents over 2k refreshes). Otherwise
//   their refresh and screen time are not known and stay empty
//   ("unplaced"): nothing is invented. A sync-interval-0 present whose first possible blank is no
//   earlier than the one a newer present was first shown at was replaced unseen ("never shown";
//   images reach the screen only at blanks).
// - A placed present is late when the image before it is placed too and it reached the screen
//   after the refresh that image, its sync interval and its present call allowed (PlacePresent).
// - PresentCount is read as the id of the present shown, where the data bears that reading out
//   (PresentCountReader); where it does not say which present was shown, retired presents stay
//   unplaced.
// - Ids are keyed by swap chain: after a new swap chain (a recovered device), no id of the old
//   one is matched against the new one's statistics. A repeated id is no new present.
// - Statistics that are all zero are ignored; a disjoint result (the first call, a mode change)
//   starts the history over (the next sample places only its own present); ids and counts wrap
//   at 2^32.
// - Where the platform has no statistics, every present is "not measured", never a zero that
//   looks measured.

#include <cstddef>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "base/guarded.h"
#include "measure/display_vocabulary.h"
#include "measure/present_count_reading.h"

namespace tsl {

class PresentTracker {
 public:
  explicit PresentTracker(size_t capacity = 8192) : capacity_(capacity) {}

  // After each present call that was made and succeeded (blanks included): the tick, the id
  // GetLastPresentCount gave, the sync interval, when the frame was seen and when the
  // present returned.
  void OnPresent(uint64_t tick, uint32_t present_id, uint32_t sync_interval, uint64_t seen_qpc,
                 uint64_t present_qpc, const PresentAim& aim = {});
  // Once per tick: what GetFrameStatistics gave.
  void OnStatistics(StatisticsRead read, const FrameStatistics& stats);
  // A new swap chain: its ids start again and have nothing to do with the old one's. What the
  // old one still had pending is not measured.
  void OnNewSwapChain();

  // The records of the recent presents, oldest first (pending ones included).
  std::vector<DisplayRecord> Records() const;
  // The newest `count` of them, oldest first, into `out` (its storage reused): cheap enough for
  // every tick.
  void Recent(size_t count, std::vector<DisplayRecord>& out) const;
  PresentCountReading Reading() const;
  // False once the platform has said it gives no statistics: no record will say more than
  // "not measured".
  bool Measuring() const;

 private:
  // A present's place in the history: the swap chain it was made on, and its id counted on
  // from that chain's first present without wrapping.
  using Key = std::pair<uint32_t, uint64_t>;
  using History = std::map<Key, DisplayRecord>;
  // The presents a sample says have left the queue since the one before: [first, last), the
  // newest of them the one the sample shows.
  struct Retired {
    History::iterator first;
    History::iterator last;
    uint64_t newest_shown = 0;
  };

  // What a sample says: which presents left the queue (Retire), whether the run since the last
  // placed one can be placed whole (RunIsExact), and each one's place (Judge).
  void Resolve(const FrameStatistics& s) REQUIRES(mutex_);
  // False when the sample retires nothing new, or names a present not made on this chain.
  bool Retire(const FrameStatistics& s, Retired& retired) REQUIRES(mutex_);
  // The presents between the last placed one and the newest shown each stayed exactly their sync
  // interval (an image stays at least that many blanks) only when the refreshes between the two
  // placed ones are exactly the sum of those intervals, each at least 1: k sync-1 presents over
  // k refreshes, k sync-2 presents over 2k.
  bool RunIsExact(const Retired& retired, uint32_t refresh) const REQUIRES(mutex_);
  // Places each retired present that can be placed; calls the rest never shown or unplaced.
  void Judge(const Retired& retired, bool exact, const FrameStatistics& s) REQUIRES(mutex_);

  mutable base::Mutex mutex_;
  const size_t capacity_;
  History records_ GUARDED_BY(mutex_);
  uint32_t chain_ GUARDED_BY(mutex_) = 0;
  bool havePresent_ GUARDED_BY(mutex_) = false;   // a present was made on this chain
  uint32_t newestId_ GUARDED_BY(mutex_) = 0;      // ... its id
  uint64_t newestNumber_ GUARDED_BY(mutex_) = 0;  // ... and its unwrapped number
  bool unavailable_ GUARDED_BY(mutex_) = false;
  bool haveSample_ GUARDED_BY(mutex_) = false;  // a sample of this history, in `last_`
  FrameStatistics last_ GUARDED_BY(mutex_);
  double periodQpc_ GUARDED_BY(mutex_) = 0.0;
  // The last present placed in this history (its number and refresh), if any.
  bool havePlaced_ GUARDED_BY(mutex_) = false;
  uint64_t placedNumber_ GUARDED_BY(mutex_) = 0;
  uint32_t placedRefresh_ GUARDED_BY(mutex_) = 0;
  // Presents numbered up to this have left the queue.
  uint64_t retiredThrough_ GUARDED_BY(mutex_) = 0;
  bool retiredAny_ GUARDED_BY(mutex_) = false;
  PresentCountReader reading_ GUARDED_BY(mutex_);
};

}  // namespace tsl

#pragma once

// Follows each present to the screen from what the swap chain reports: the id of every present
// (GetLastPresentCount after the call) and, once per tick, its frame statistics (the number of
// images shown so far, the refresh the newest one was first shown at, and a recent vertical
// blank: its refresh count and counter time). Portable: the Windows glue feeds it.
//
// What the statistics say, and how they are read here:
// - Images are shown in the order they were presented. PresentCount counts images shown, not
//   present calls: under sync interval 0 a newer present replaces a queued one, which is then
//   never shown. So when PresentCount moved by k since the last sample while more presents
//   than k were made before the newest image reached the screen, the surplus are the oldest
//   sync-interval-0 presents of that batch: never shown.
// - The newest image's screen time is SyncQPCTime - (SyncRefreshCount - PresentRefreshCount) x
//   the refresh period, the period being the counter time between two samples' vertical blanks
//   over their refresh counts. Earlier images of the same batch are taken to have reached one
//   refresh each before it.
// - A present is late when it reached the screen after the refresh its sync interval and the
//   image before it allow (the next refresh after its present, and at least sync-interval
//   refreshes after the image before).
// - Statistics that are all zero are ignored; a disjoint result (the first call, a mode change)
//   starts the history over; ids and counts wrap at 2^32.
// - Where the platform has no statistics, every present is "not measured", never a zero that
//   looks measured.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace tsl {

struct FrameStatistics {
  uint32_t present_count = 0;          // images shown so far
  uint32_t present_refresh_count = 0;  // the refresh the newest image was first shown at
  uint32_t sync_refresh_count = 0;     // a recent vertical blank ...
  uint64_t sync_qpc = 0;               // ... and its counter time
};

enum class StatisticsRead {
  kOk,
  kDisjoint,     // DXGI_ERROR_FRAME_STATISTICS_DISJOINT: the history starts over
  kUnavailable,  // no statistics on this platform or swap chain
};

enum class DisplayState : uint8_t { kPending, kShown, kLate, kNeverShown, kNotMeasured };

// "pending", "shown", "late", "never shown", "not measured".
const char* DisplayStateName(DisplayState state);

struct DisplayRecord {
  uint64_t tick = 0;
  uint64_t published_qpc = 0;  // when the frame presented was published (0: no frame)
  uint64_t present_qpc = 0;    // when the present call returned
  uint32_t present_id = 0;
  uint32_t sync_interval = 0;
  DisplayState state = DisplayState::kPending;
  uint32_t refresh = 0;              // the refresh it was first shown at (shown, late)
  uint64_t display_qpc = 0;          // its screen time, 0 where not known
  uint32_t refreshes_on_screen = 0;  // until the next image replaced it; 0 while unknown
};

class PresentTracker {
 public:
  explicit PresentTracker(size_t capacity = 8192) : capacity_(capacity) {}

  // After each present that was made: the tick, the id GetLastPresentCount gave, the sync
  // interval, when the frame was published and when the present returned.
  void OnPresent(uint64_t tick, uint32_t present_id, uint32_t sync_interval, uint64_t published_qpc,
                 uint64_t present_qpc);
  // Once per tick: what GetFrameStatistics gave.
  void OnStatistics(StatisticsRead read, const FrameStatistics& stats);

  // The records of the recent presents, oldest first (pending ones included).
  std::vector<DisplayRecord> Records() const;
  // Counter counts per refresh, 0 while not measured.
  double RefreshPeriodQpc() const;
  // False until statistics were read once; and false for good once the platform said it has
  // none.
  bool Measured() const;

 private:
  void Resolve(const FrameStatistics& s);

  mutable std::mutex mutex_;
  const size_t capacity_;
  std::deque<DisplayRecord> records_;
  size_t first_pending_ = 0;  // index into records_ of the oldest present not yet resolved
  bool have_sample_ = false;
  bool unavailable_ = false;
  bool measured_ = false;
  FrameStatistics last_;
  double period_qpc_ = 0.0;
  // The last image known to have reached the screen (index into records_, or none).
  bool have_last_shown_ = false;
  size_t last_shown_ = 0;
};

}  // namespace tsl

#include "measure/present_placement.h"

#include <cmath>

namespace tsl {

void PlacePresent(DisplayRecord& r, uint32_t refresh, const DisplayRecord* previous,
                  const FrameStatistics& s, double period_qpc) {
  r.refresh = refresh;
  const auto behind = static_cast<int32_t>(s.sync_refresh_count - refresh);
  if (behind == 0) {
    r.display_qpc = s.sync_qpc;
  } else if (behind > 0 && period_qpc > 0.0) {
    r.display_qpc = s.sync_qpc - static_cast<uint64_t>(std::llround(behind * period_qpc));
  }
  bool late = false;
  if (previous != nullptr) {
    // The image before stays at least its own sync interval.
    uint32_t earliest =
        previous->refresh + (previous->sync_interval > 0 ? previous->sync_interval : 1);
    if (period_qpc > 0.0) {
      const uint32_t by_time = FirstBlankAfterCall(r, s, period_qpc);
      if (static_cast<int32_t>(by_time - earliest) > 0) earliest = by_time;
    }
    late = static_cast<int32_t>(refresh - earliest) > 0;
  }
  r.state = late ? DisplayState::kLate : DisplayState::kShown;
}

uint32_t FirstBlankAfterCall(const DisplayRecord& r, const FrameStatistics& s, double period_qpc) {
  const double since = static_cast<double>(static_cast<int64_t>(r.present_qpc - s.sync_qpc));
  return s.sync_refresh_count +
         static_cast<uint32_t>(static_cast<int64_t>(std::floor(since / period_qpc))) + 1;
}

}  // namespace tsl

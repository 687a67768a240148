#include "measure/present_count_reading.h"

namespace tsl {

void PresentCountReader::OnSample(const FrameStatistics& before, const FrameStatistics& now,
                                  uint32_t newest_id) {
  if (reading_ != PresentCountReading::kUnknown) return;
  const auto behind = static_cast<int32_t>(newest_id - now.present_count);
  if (behind > kMostQueued) {
    reading_ = PresentCountReading::kImagesShown;
  } else if (now.present_count - before.present_count >
             now.sync_refresh_count - before.sync_refresh_count + 1) {
    // More than one a refresh, and not falling behind the ids: ids of presents, some of which
    // were replaced unseen.
    reading_ = PresentCountReading::kPresentId;
  }
}

}  // namespace tsl

#pragma once

// PresentCount is worded two ways in the platform's documentation: the id of the last present
// shown (the driver's statistics), or the number of images shown (the DXGI page). They differ
// only when sync-interval-0 presents are replaced before they are shown. The present tracker is
// built on the id reading, and this watches which one the data bears out: PresentCount moving by
// more than the refreshes since the last sample can only be ids; falling ever further behind the
// ids made (more than any queue holds) can only be images. Under the image reading no count says
// which present an image was; nor does it while the reading is not yet known and a
// sync-interval-0 present was made (the readings part there). Portable; the tracker's alone.

#include <cstdint>

#include "measure/display_vocabulary.h"

namespace tsl {

class PresentCountReader {
 public:
  // More presents queued behind the one shown than any swap chain holds (a maximum frame latency
  // is at most 16) and a refresh or two of sync-interval-0 presents could explain: PresentCount
  // that far behind the ids made counts images, not ids.
  static constexpr int32_t kMostQueued = 32;

  void OnPresent(uint32_t sync_interval) { syncZeroMade_ = syncZeroMade_ || sync_interval == 0; }
  // A sample after `before`, of one history, `newest_id` the newest present made by then.
  void OnSample(const FrameStatistics& before, const FrameStatistics& now, uint32_t newest_id);
  // A new swap chain: its presents and counts start again.
  void Restart() { *this = PresentCountReader(); }

  PresentCountReading Reading() const { return reading_; }
  // Whether a sample's PresentCount says which present it shows.
  bool NamesPresents() const {
    return reading_ == PresentCountReading::kPresentId ||
           (reading_ == PresentCountReading::kUnknown && !syncZeroMade_);
  }

 private:
  PresentCountReading reading_ = PresentCountReading::kUnknown;
  bool syncZeroMade_ = false;  // a sync-interval-0 present was made on this chain
};

}  // namespace tsl

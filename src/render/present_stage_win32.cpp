#include "render/present_stage_win32.h"

namespace tsl {

PresentResult PresentStage::PresentLatest(uint32_t sync_interval) {
  PresentResult result;
  // Holds the frame for this tick only: the receive thread may replace it meanwhile.
  SlotFrame frame;
  if (!slot_->Latest(frame)) {
    presenter_->PresentBlank(sync_interval);
    return result;
  }
  result.repeated = lastVersion_.exchange(frame.version) == frame.version;
  if (result.repeated) repeatCount_.fetch_add(1);
  presenter_->Draw(frame.texture.Get(), frame.width, frame.height, frame.format, sync_interval);
  presentCount_.fetch_add(1);
  result.presented = true;
  result.version = frame.version;
  return result;
}

}  // namespace tsl

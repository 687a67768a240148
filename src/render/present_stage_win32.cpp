#include "render/present_stage_win32.h"

namespace tsl {

PresentResult PresentStage::PresentLatest(uint32_t sync_interval) {
  PresentResult result;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t format = 0;
  uint64_t version = 0;
  // Holds the frame for this tick only: the receive thread may replace it meanwhile.
  Microsoft::WRL::ComPtr<ID3D11Texture2D> frame;
  if (!slot_->Latest(frame, width, height, format, version)) {
    presenter_->PresentBlank(sync_interval);
    return result;
  }
  result.repeated = lastVersion_.exchange(version) == version;
  if (result.repeated) repeatCount_.fetch_add(1);
  presenter_->Draw(frame.Get(), width, height, format, sync_interval);
  presentCount_.fetch_add(1);
  result.presented = true;
  result.version = version;
  return result;
}

}  // namespace tsl

#include "render/present_stage_win32.h"

namespace tsl {

PresentResult PresentStage::PresentLatest(uint32_t sync_interval,
                                          const std::function<void()>& before_take) {
  PresentResult result;
  // With a waitable swap chain, wait until a present would not queue behind another before
  // taking the newest frame: what is drawn is then the newest at the last moment.
  presenter_->WaitUntilReady();
  if (before_take) before_take();
  // Holds the frame for this tick only: the receive thread may replace it meanwhile.
  SlotFrame frame;
  if (!slot_->Latest(frame)) {
    result.present_made = presenter_->PresentBlank(sync_interval);
    return result;
  }
  result.version = frame.version;
  result.published_qpc = frame.published_qpc;
  // A tick whose draw or present failed presented nothing: it is neither a present nor a hold.
  const Presenter::DrawResult drawn = presenter_->Draw(frame.texture.Get(), frame.width,
                                                        frame.height, frame.format, sync_interval);
  if (drawn == Presenter::DrawResult::kFailed) return result;
  result.present_made = drawn == Presenter::DrawResult::kPresented;
  result.repeated = lastVersion_.exchange(frame.version) == frame.version;
  if (result.repeated) repeatCount_.fetch_add(1);
  presentCount_.fetch_add(1);
  result.presented = true;
  return result;
}

}  // namespace tsl

#include "render/present_stage_win32.h"

namespace tsl {

PresentOutcome PresentStage::PresentNewest(uint32_t sync_interval, OutputFrame& frame) {
  // Holds the frame for this tick only: the receive thread may replace it meanwhile.
  SlotFrame newest;
  if (!slot_->Latest(newest)) {
    return presenter_->PresentBlank(sync_interval) ? PresentOutcome::kMade
                                                   : PresentOutcome::kFailed;
  }
  frame.taken = true;
  frame.version = newest.version;
  frame.seen_qpc = newest.seen_qpc;
  switch (presenter_->Draw(newest.texture.Get(), newest.width, newest.height, newest.format,
                           sync_interval)) {
    case Presenter::DrawResult::kPresented:
      return PresentOutcome::kMade;
    case Presenter::DrawResult::kNothingToDraw:
      return PresentOutcome::kNothingToDraw;
    case Presenter::DrawResult::kFailed:
      break;
  }
  return PresentOutcome::kFailed;
}

}  // namespace tsl

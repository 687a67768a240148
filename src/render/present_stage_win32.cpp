#include "render/present_stage_win32.h"

namespace tsl {

void PresentStage::Peek(OutputFrame& newest, OutputFrame& previous) {
  slot_->Stamps(newest.version, newest.seen_qpc, previous.version, previous.seen_qpc);
  newest.taken = newest.version != 0;
  previous.taken = previous.version != 0;
}

const OverlayInput* PresentStage::Overlay() {
  if (!overlay || stats_ == nullptr) return nullptr;
  stats_->Recent(OverlayGraph::kBars + 1, recent_);
  // A few more presents than ticks: a frame's first present may be before the oldest bar. Where
  // the platform gives no statistics no record can make a mark: nothing is copied.
  const bool measuring = tracker_ != nullptr && tracker_->Measuring();
  if (measuring) tracker_->Recent(OverlayGraph::kBars + 8, recentPresents_);
  size_t lines = 0;
  textView_ = text_ != nullptr ? text_->Front(lines) : nullptr;
  overlayInput_ = OverlayInput{&recent_,
                               targetIntervalMs_,
                               stats_->QpcFrequency(),
                               textView_.Get(),
                               lines,
                               measuring ? &recentPresents_ : nullptr};
  return &overlayInput_;
}

PresentOutcome PresentStage::PresentFrame(uint32_t sync_interval, uint64_t version,
                                          OutputFrame& frame) {
  // Holds the frame for this tick only: the receive thread may replace it meanwhile.
  SlotFrame newest;
  const OverlayInput* overlay_input = Overlay();
  if (!slot_->AtMost(version, newest)) {
    size_t status_lines = 0;
    const Microsoft::WRL::ComPtr<ID3D11ShaderResourceView> status =
        status_ != nullptr ? status_->Front(status_lines) : nullptr;
    return presenter_->PresentBlank(sync_interval, overlay_input, status.Get(), status_lines)
               ? PresentOutcome::kMade
               : PresentOutcome::kFailed;
  }
  frame.taken = true;
  frame.version = newest.version;
  frame.seen_qpc = newest.seen_qpc;
  switch (presenter_->Draw(newest.texture.Get(), newest.width, newest.height, newest.format,
                           sync_interval, overlay_input)) {
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

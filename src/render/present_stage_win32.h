#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "gpu/frame_slot_win32.h"
#include "render/overlay_text_win32.h"
#include "render/presenter_win32.h"
#include "tick/tick_path.h"

namespace tsl {

// The window's output for the tick path: a frame from the slot (the newest, or the one before),
// drawn and presented through the Presenter, or black while there is none.
class PresentStage final : public TickOutput {
 public:
  void Bind(Presenter* presenter, FrameSlot* slot) {
    presenter_ = presenter;
    slot_ = slot;
  }

  // The overlay graph is drawn from `stats`' recent ticks and `tracker`'s records of their
  // presents (may be null) against `target_interval_ms` while `overlay` is set.
  void SetOverlaySource(const PaceStats* stats, const PresentTracker* tracker,
                        double target_interval_ms) {
    stats_ = stats;
    tracker_ = tracker;
    targetIntervalMs_ = target_interval_ms;
  }

  // The figures' panel the overlay shows under its graph (null: none).
  void SetOverlayText(OverlayText* text) { text_ = text; }
  // What the window says in its middle while there is no frame to show (null: nothing).
  void SetStatusText(OverlayText* status) { status_ = status; }

  void WaitUntilReady() override { presenter_->WaitUntilReady(); }
  void Peek(OutputFrame& newest, OutputFrame& previous) override;
  PresentOutcome PresentFrame(uint32_t sync_interval, uint64_t version,
                              OutputFrame& frame) override;
  bool LastPresentId(uint32_t& id) override { return presenter_->LastPresentId(id); }
  StatisticsRead ReadStatistics(FrameStatistics& stats) override {
    return presenter_->ReadStatistics(stats);
  }

  std::atomic<bool> vsync{true};
  std::atomic<bool> overlay{false};

 private:
  // The overlay's input for this tick (null while it is off): a copy of the recent ticks.
  const OverlayInput* Overlay();

  Presenter* presenter_ = nullptr;
  FrameSlot* slot_ = nullptr;
  const PaceStats* stats_ = nullptr;
  double targetIntervalMs_ = 0.0;
  std::vector<PaceSample> recent_;
  const PresentTracker* tracker_ = nullptr;
  std::vector<DisplayRecord> recentPresents_;
  OverlayText* text_ = nullptr;
  OverlayText* status_ = nullptr;
  Microsoft::WRL::ComPtr<ID3D11ShaderResourceView> textView_;  // held for the tick
  OverlayInput overlayInput_;
};

}  // namespace tsl

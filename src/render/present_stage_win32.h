#pragma once

#include <atomic>
#include <cstdint>

#include "receive/frame_slot_win32.h"
#include "render/presenter_win32.h"
#include "render/tick_path.h"

namespace tsl {

// The window's output for the tick path: a frame from the slot (the newest, or the one before),
// drawn and presented through the Presenter, or black while there is none.
class PresentStage final : public TickOutput {
 public:
  void Bind(Presenter* presenter, FrameSlot* slot) {
    presenter_ = presenter;
    slot_ = slot;
  }

  void WaitUntilReady() override { presenter_->WaitUntilReady(); }
  void Peek(OutputFrame& newest, OutputFrame& previous) override;
  PresentOutcome PresentFrame(uint32_t sync_interval, uint64_t version,
                              OutputFrame& frame) override;
  bool LastPresentId(uint32_t& id) override { return presenter_->LastPresentId(id); }
  StatisticsRead ReadStatistics(FrameStatistics& stats) override {
    return presenter_->ReadStatistics(stats);
  }

  std::atomic<bool> vsync{true};

 private:
  Presenter* presenter_ = nullptr;
  FrameSlot* slot_ = nullptr;
};

}  // namespace tsl

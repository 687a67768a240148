#pragma once

#include <d3d11.h>
#include <wrl/client.h>

#include <atomic>
#include <cstdint>
#include <functional>

#include "receive/frame_slot_win32.h"
#include "render/presenter_win32.h"

namespace tsl {

struct PresentResult {
  bool presented = false;  // a frame was drawn and its present succeeded (or the window is
                           // minimised and there was nothing to draw into)
  bool present_made = false;  // a present call was made and succeeded (a frame or a blank): it
                              // has an id, and the display side follows it
  bool repeated = false;   // the frame's version equals the previous presenting tick's
  uint64_t version = 0;
  uint64_t published_qpc = 0;  // when the frame was published (0: no frame)
};

// The per-tick draw step: the newest frame from the slot, drawn and presented, or black while
// there is none yet. Keeps the counters the title shows.
class PresentStage {
 public:
  void Bind(Presenter* presenter, FrameSlot* slot) {
    presenter_ = presenter;
    slot_ = slot;
  }
  // `before_take` runs just before the newest frame is taken from the slot (after the waitable
  // swap chain's wait, made before every present whatever the sync interval), so a source taken
  // on the output's clock is as new as it can be.
  PresentResult PresentLatest(uint32_t sync_interval,
                              const std::function<void()>& before_take = nullptr);

  std::atomic<bool> vsync{true};
  uint64_t RepeatCount() const { return repeatCount_.load(); }
  uint64_t PresentCount() const { return presentCount_.load(); }

 private:
  Presenter* presenter_ = nullptr;
  FrameSlot* slot_ = nullptr;
  std::atomic<uint64_t> lastVersion_{0};
  std::atomic<uint64_t> repeatCount_{0};
  std::atomic<uint64_t> presentCount_{0};
};

}  // namespace tsl

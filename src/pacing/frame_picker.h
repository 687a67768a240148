#pragma once

#include <cstdint>

#include "pacing/line_fit.h"

namespace tsl {

// Chooses, for a display-locked tick, which source frame to show, so that a source whose clock
// runs close to the output's (60 frames/s on a 59.94 Hz display) does not chatter between
// taking a frame and holding one whenever their phases cross: it estimates the source's rate and
// phase from the times its frames were seen (a regression of seen time on version over recent
// frames, frames more than a quarter period off left out), and takes the next frame in order
// unless the prediction says otherwise:
// - one is skipped only when the next frame's predicted age at the sample moment passes 1.05
//   source periods;
// - the frame shown is kept when the next is predicted to arrive less than a guard (1 ms, or a
//   fortieth of the source period if less) before the sample moment.
// So the decision moves only when the phases have drifted by a whole period, and a frame that
// arrives a little early or late does not move it. Without an estimate it takes the newest.
// Portable; the pace thread's only.
class FramePicker {
 public:
  static constexpr size_t kWindow = 64;
  // Frames (over as many versions) before the estimate is used: a few, since until then the
  // newest frame is taken, which chatters.
  static constexpr size_t kEnough = 4;
  static constexpr uint64_t kNewest = UINT64_MAX;

  explicit FramePicker(uint64_t frequency) : frequency_(frequency), fit_(kWindow) {}

  // A frame found in the slot, stamped when the receive thread saw it. The same or an older
  // version again is ignored.
  void Seen(uint64_t version, uint64_t seen_qpc);
  // The version to show for the sample moment `sample_qpc`, the frame shown last being `shown`
  // (0: none yet) and the newest in the slot `newest`; kNewest when there is no estimate.
  uint64_t Pick(uint64_t sample_qpc, uint64_t shown, uint64_t newest) const;
  // The source's period estimate in counts (0: none).
  double PeriodQpc() const { return haveLine_ ? line_.slope : 0.0; }

 private:
  double Arrival(uint64_t version) const;

  uint64_t frequency_;
  LineFit fit_;
  bool haveOrigin_ = false;
  uint64_t originVersion_ = 0;
  uint64_t originQpc_ = 0;
  uint64_t lastVersion_ = 0;
  bool haveLine_ = false;
  LineFit::Line line_;
};

}  // namespace tsl

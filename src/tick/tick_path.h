#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "measure/pace_stats.h"
#include "measure/present_tracker.h"
#include "pacing/display_lock.h"
#include "pacing/frame_picker.h"

namespace tsl {

// The frame an output took for a tick.
struct OutputFrame {
  bool taken = false;  // a frame was there (else a blank was presented)
  uint64_t version = 0;
  uint64_t seen_qpc = 0;  // when the receive thread saw it (its signal, or its take)
};

enum class PresentOutcome {
  kMade,           // a present call was made and succeeded: it has an id
  kNothingToDraw,  // a minimised window: nothing drawn, no present made
  kFailed,         // the draw or the present failed
};

// What a tick presents through: the window's swap chain with the frame slot (PresentStage), or a
// simulated display.
class TickOutput {
 public:
  virtual ~TickOutput() = default;
  // With a waitable swap chain, waits until a present would not queue behind another.
  virtual void WaitUntilReady() = 0;
  // What the source holds now: its newest frame and the one before it (`taken` false: none).
  virtual void Peek(OutputFrame& newest, OutputFrame& previous) = 0;
  // Takes the newest frame whose version is at most `version` (the oldest held where none is)
  // and presents it with `sync_interval`, or a blank while there is none.
  virtual PresentOutcome PresentFrame(uint32_t sync_interval, uint64_t version,
                                      OutputFrame& frame) = 0;
  PresentOutcome PresentNewest(uint32_t sync_interval, OutputFrame& frame) {
    return PresentFrame(sync_interval, FramePicker::kNewest, frame);
  }
  // The id of the last present made; false when it cannot be read.
  virtual bool LastPresentId(uint32_t& id) = 0;
  virtual StatisticsRead ReadStatistics(FrameStatistics& stats) = 0;
};

struct PresentResult {
  bool frame_counted = false;  // the tick counts among the title's presented ticks: its frame
                               // was drawn and presented, or the window is minimised and there
                               // was nothing to draw into
  bool present_made = false;   // a present call was made and succeeded (a frame or a blank): it
                               // has an id, and the display side follows it
  bool repeated = false;       // the frame's version equals the previous presenting tick's
  uint64_t version = 0;
  uint64_t seen_qpc = 0;  // when the frame was seen by the receive thread (0: no frame)
};

// One tick's work, the same on every output: wait until a present would not queue, let the
// source take its frame (`before_take`, true when it took this tick's own frame on request),
// give a display-locked tick up when those waits made it too late for its blank (a hold),
// present the newest frame (a display-locked tick: the frame the FramePicker chooses for its
// sample moment, unless the frame was taken for the tick: then there is nothing to choose), record
// the tick's sample in the pace statistics and its present in the tracker and the lock, and read
// the display's statistics (they feed the lock's clock in every mode, so its grid is ready when
// vsync comes back on). Keeps the counts the title shows. Runs on the pace thread; the counts are
// read from any thread.
class TickPath {
 public:
  using Clock = std::function<uint64_t()>;

  TickPath(PaceStats& stats, PresentTracker& tracker, Clock now)
      : stats_(stats), tracker_(tracker), now_(std::move(now)), picker_(stats.QpcFrequency()) {}

  void Bind(TickOutput* output) { output_ = output; }
  // The display-locked schedule whose ticks pick their frames (null: none).
  void BindLock(DisplayLock* lock) {
    lock_ = lock;
    if (lock_ != nullptr) {
      lock_->ReadLandingsWith([this](FrameStatistics& stats) { return WakeStatistics(stats); });
    }
  }
  PresentResult Run(uint64_t tick, uint64_t target_qpc, uint64_t wake_qpc, uint32_t sync_interval,
                    const std::function<bool()>& before_take = nullptr);

  uint64_t RepeatCount() const { return repeatCount_.load(); }
  uint64_t PresentCount() const { return presentCount_.load(); }

 private:
  // The display's statistics, to the tracker and the lock.
  void ReadStatistics();
  void Deliver(StatisticsRead read, const FrameStatistics& stats);
  // The display's statistics at a locked tick's wake, for the lock to see what is on the glass.
  // What else a read can say (a disjoint, no statistics) goes where every read goes: a disjoint
  // is said once.
  StatisticsRead WakeStatistics(FrameStatistics& stats);

  PaceStats& stats_;
  PresentTracker& tracker_;
  Clock now_;
  TickOutput* output_ = nullptr;
  DisplayLock* lock_ = nullptr;
  FramePicker picker_;
  uint64_t lastVersion_ = 0;
  std::atomic<uint64_t> repeatCount_{0};
  std::atomic<uint64_t> presentCount_{0};
};

}  // namespace tsl

#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/app_config.h"
#include "app/status_title.h"
#include "base/qpc.h"
#include "gpu/frame_slot_win32.h"
#include "gpu/gpu_device_win32.h"
#include "measure/pace_stats.h"
#include "measure/present_tracker.h"
#include "pacing/display_lock.h"
#include "pacing/pace_controller.h"
#include "render/overlay_text_win32.h"
#include "render/present_stage_win32.h"
#include "render/presenter_win32.h"
#include "tick/tick_path.h"
#include "window/main_window_win32.h"

namespace tsl {

// One output: the window and everything that paces, presents and measures into it (the
// presenter, the present stage and its overlay, the pace controller and its schedule, the tick
// path, the pace statistics, the present tracker, and the display timing the lock was told).
// Frames come from a FrameSlot it does not own. The Application decides when its parts come up
// and go down (start-up, shutdown, device recovery); the output knows how.
//
// Main thread: everything but Tick, which the pace thread calls through the controller.
class Output {
 public:
  explicit Output(FrameSlot& slot) : frameSlot_(slot) {}
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  // The window, with `wire` setting its callbacks at once (asking the display's timing may
  // deliver another program's message to it), and the parts bound to it and to each other;
  // with the display-locked cadence the lock, told the display's timing (and a warning when
  // --fps is above its refresh rate). False when the window cannot be made.
  bool Create(const AppConfig& cfg, const std::function<void(MainWindow&)>& wire);
  // The swap chain on `device`, with the frames in flight the cadence keeps.
  bool StartPresenter(GpuDevice* device, const AppConfig& cfg);
  // A warning when --latency asked for frames in flight that the platform's swap chain cannot
  // keep (no waitable swap chain): the device's frame latency stands in.
  void SayLatencyFallback(const AppConfig& cfg) const;
  // What was made on the device: the overlay's text, the status text, the presenter.
  void ReleaseDeviceParts();

  // The source's step before a tick takes its frame: true when it took that tick's own frame.
  using BeforeTake = std::function<bool()>;
  // The pace thread, ticking into this output; its tick count and misses go on from those of
  // controllers before it.
  bool StartPacing(const AppConfig& cfg, BeforeTake before_take);
  void StopPacing();

  // The display's timing asked again when the pace thread or the window says it may have
  // changed (a disjoint, another monitor), and once a second besides.
  void FollowDisplay();
  // Tells the lock what the platform says of the window's display when that changed (another
  // monitor, another mode), or always with `force`.
  void RestateDisplayTiming(bool force);

  // The output's part of the title: the pace, the cadence and what was presented.
  void AddFigures(bool paced, TitleFigures& f) const;
  // The overlay's text, from the title's figures and the frame age of the recent presents.
  void UpdateOverlay(GpuDevice& device, TitleFigures& f);
  // The pace log and the display log beside the executable, from the same ticks; their paths
  // (UTF-16 and UTF-8) whether or not they were written.
  bool WriteLogs(std::wstring& wide_path, std::string& utf8_path) const;
  // What the window says in its middle while it has no frame to show.
  void ShowStatus(GpuDevice& device, const std::vector<std::string>& lines);

  // The parts keep the names the application's design gives them, without the suffix.
  // NOLINTBEGIN(readability-identifier-naming)
  MainWindow window;
  Presenter presenter;
  PresentStage presentStage;
  OverlayText overlayText;  // the overlay's figures, drawn by the main thread
  OverlayText statusText;   // what the window says in its middle while it has no frame
  PaceStats paceStats{kPaceRingCapacity};
  // Each present followed to the screen (the pace thread feeds it, the P key reads it).
  PresentTracker presentTracker{kPaceRingCapacity};
  std::atomic<bool> letterbox{true};
  // A line the overlay shows first until the given counter time (what P did in fullscreen).
  std::wstring overlayNotice;
  int64_t overlayNoticeUntil = 0;
  // NOLINTEND(readability-identifier-naming)

 private:
  // The pace thread's tick: the frame the source gives, presented through the present stage.
  void Tick(uint64_t tick, uint64_t target_qpc, uint64_t wake_qpc);

  FrameSlot& frameSlot_;
  // The pace thread's work per tick, through the present stage.
  TickPath tickPath_{paceStats, presentTracker, base::QpcNow};
  PaceController paceController_;
  // The display-locked cadence's schedule (null with --cadence every-refresh), and the stated
  // timing it was last given.
  std::unique_ptr<DisplayLock> displayLock_;
  HMONITOR statedMonitor_ = nullptr;
  BlankGrid statedGrid_;
  ULONGLONG nextTimingCheckMs_ = 0;
  BeforeTake beforeTake_;
  // Ticks run only while everything a tick uses is up.
  std::atomic<bool> running_{false};
  std::vector<DisplayRecord> overlayPresents_;  // main thread: the frame age's records
  // Ticks and misses of pace controllers before the last one: the pace log and the title count
  // on across a device recovery although each controller counts from 0.
  uint64_t tickBase_ = 0;
  uint64_t missedBase_ = 0;
  bool counted_ = true;  // the last controller's counts are in those
};

}  // namespace tsl

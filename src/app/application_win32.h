#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <thread>

#include "app/app_config.h"
#include "pacing/pace_controller.h"
#include "pacing/pace_stats.h"
#include "receive/frame_slot_win32.h"
#include "receive/weft_receive_thread_win32.h"
#include "render/gpu_device_win32.h"
#include "render/present_stage_win32.h"
#include "render/presenter_win32.h"
#include "window/main_window_win32.h"

namespace tsl {

// Owns every subsystem, brings them up in order, runs the main thread's message loop and takes
// them down in reverse. The window, pace controller and watchdog reach it only through `this`.
class Application {
 public:
  Application();
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // 0 after an orderly shutdown, 1 when start-up failed (with one line on standard error).
  int Run(const AppConfig& cfg);

  void OnTick(uint64_t tick, uint64_t target_qpc, uint64_t wake_qpc);
  void OnKey(uint64_t virtual_key);
  void RefreshTitle();
  void WritePaceLog();

 private:
  void WatchParent();
  void StopWatchdog();

  MainWindow window;
  GpuDevice device;
  Presenter presenter;
  FrameSlot frameSlot;
  PresentStage presentStage;
  PaceStats paceStats{kPaceRingCapacity};
  PaceController paceController;
  WeftReceiveThread receiver;
  std::atomic<int32_t> monitorIndex{0};
  std::atomic<bool> running{false};
  std::atomic<bool> letterbox{true};
  int64_t lastTitleRefresh = 0;
  int64_t titleHoldUntil = 0;
  HANDLE parentProcess = nullptr;
  std::thread watchdogThread;
  std::atomic<bool> watchdogActive{false};
};

}  // namespace tsl

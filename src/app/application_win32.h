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

  // Fault injection for tests: the next present reports the device removed, and the next
  // `refused_creations` attempts to make a new device fail as if no adapter were usable.
  void SimulateDeviceLoss(uint32_t refused_creations = 0);
  // Times the device was lost and everything that depends on it was rebuilt.
  uint64_t DeviceRecoveries() const { return deviceRecoveries.load(); }

 private:
  void WatchParent();
  void StopWatchdog();
  bool StartPacing(const AppConfig& cfg);
  bool DeviceLost() const;
  // Takes down the pace and receive threads, the presenter and the device, and brings them up
  // again on a new device, retrying with a back-off (the window shows black meanwhile). False
  // only when the window was closed while it waited.
  bool RecoverDevice(const AppConfig& cfg);
  // Stops the receive thread, lets go of the held frame, then releases the presenter and the
  // device, in that order.
  void ReleaseDeviceUsers();

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
  // Ticks and misses of pace controllers before the last device recovery: the pace log and the
  // title count on across a recovery although each controller counts from 0.
  uint64_t tickBase = 0;
  uint64_t missedBase = 0;
  std::atomic<uint64_t> deviceRecoveries{0};
  std::atomic<uint32_t> refusedCreations{0};
};

}  // namespace tsl

#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/app_config.h"
#include "app/output_win32.h"
#include "app/parent_watchdog_win32.h"
#include "app/sender_menu_win32.h"
#include "app/window_title_win32.h"
#include "gpu/frame_slot_win32.h"
#include "gpu/gpu_device_win32.h"
#include "receive/weft_receive_thread_win32.h"

namespace tsl {

// Owns every subsystem, brings them up in order, runs the main thread's message loop and takes
// them down in reverse; also when the device is lost. The window and everything that paces and
// presents into it are the Output; the source side (the device, the frame slot, the receive
// thread) is shared. The window and the watchdog reach it only through `this`.
//
// The threads, and what each may touch:
//   main thread     Run: the window and its messages, the hotkeys, the sender menu, the
//                   WindowTitle (the title and the overlay's text, at most every 250 ms), the
//                   pace log and display log export; it alone starts and stops the other
//                   threads and brings the device and its users up and down, also when the
//                   device is lost (a state of its loop, retried with a back-off). While the P
//                   key's message box is open, a timer runs the loop's work from the box's own
//                   loop.
//   pace thread     PaceController: waits for each tick (in the display-locked cadence, for the
//                   target the DisplayLock gives) and calls the Output's tick, whose TickPath
//                   takes a frame from the FrameSlot (the newest, or the one the lock's
//                   FramePicker chooses), draws and presents it through the PresentStage and
//                   the Presenter, records one sample in PaceStats and the present in the
//                   PresentTracker and the lock, and feeds the display's statistics to both.
//                   With the overlay on, the graph is drawn from copies of PaceStats' and the
//                   tracker's recent records.
//   receive thread  WeftReceiveThread: drives the Weft receiver, copies each new frame into its
//                   own texture and publishes it in the FrameSlot; for a sender that does not
//                   count frames it takes one when a tick asks (before_take); it switches
//                   senders when the menu or a WM_COPYDATA pick asks.
//   watchdog        only with --parent-pid: waits on the parent process and ends this one with
//                   exit code 0 when the parent ends.
//   (refresher)     only in the development build: the texture emulation keeps the textures it
//                   made up to date from their senders' mappings.
// The pace and receive threads share the device and its immediate context (multithread-
// protected) and meet only in the FrameSlot; the title reads their atomics. Both end before
// anything on the device is released.
class Application {
 public:
  Application() = default;
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // 0 after an orderly shutdown, 1 when start-up failed (with one line on standard error).
  int Run(const AppConfig& cfg);

 private:
  void OnKey(uint64_t virtual_key);
  void WritePaceLog();
  // The main loop's work besides messages: the device's state (lost, being brought back) and
  // the title. From the loop, and from a timer while a message box runs its own loop.
  void Service();
  // The output's pace thread, its ticks' frames taken from the receive thread.
  bool StartPacing(const AppConfig& cfg);
  // Brings up the device, the presenter and the receive thread, in that order. Null when all
  // are up, else the start-up failure message of the first that failed.
  const char* StartDeviceUsers(const AppConfig& cfg);
  // Stops the receive thread, lets go of the held frame, then releases the presenter and the
  // device, in that order. Safe on what is half up or already down.
  void ReleaseDeviceUsers();
  // The main loop's step for a lost device: takes the pace thread and the device users down
  // (the window shows black) and schedules the first attempt to bring them up again.
  void BeginRecovery();
  // One attempt to bring everything up again; on failure the next one waits twice as long.
  void TryRecovery(const AppConfig& cfg);
  // The right-click menu of the listed senders, and what its commands and a controlling
  // program's pick ask for.
  void ShowSenderMenu(POINT at);
  void OnMenuCommand(uint32_t command);
  void PickSender(const std::string& name);
  // Runs `show` (a message box, a menu) as the window's one modal loop, with the main loop's
  // work run from a timer meanwhile; false, and nothing shown, while another one is open.
  bool RunModal(const std::function<void()>& show);

  // The parts keep the names the application's design gives them, without the suffix.
  // NOLINTBEGIN(readability-identifier-naming)
  AppConfig config;
  GpuDevice device;
  FrameSlot frameSlot;
  Output output{frameSlot};
  WeftReceiveThread receiver;
  WindowTitle title{device, output, receiver, frameSlot};
  std::atomic<int32_t> monitorIndex{0};
  // How long a tick waits for the take of a sender that does not count its frames.
  std::chrono::microseconds takeWait{0};
  // A modal loop (a box, the menu) is running: a modal loop dispatches the window's messages,
  // so a key, a right-click or another program's message could start a second one inside it.
  bool modalOpen = false;
  SenderMenuPopup senderMenu;
  // The sender picked while running (main thread): none until a pick, "" to follow the active.
  std::optional<std::string> pickedSender;
  ParentWatchdog watchdog;
  // While the device is lost: when the next attempt to bring it back is due, and the wait after
  // a failed one.
  bool recovering = false;
  ULONGLONG nextRetryMs = 0;
  DWORD retryWaitMs = 0;
  // NOLINTEND(readability-identifier-naming)
};

}  // namespace tsl

#pragma once

#include <windows.h>

#include <string>

#include "app/output_win32.h"
#include "app/waiting_status.h"
#include "gpu/frame_slot_win32.h"
#include "gpu/gpu_device_win32.h"
#include "receive/weft_receive_thread_win32.h"

namespace tsl {

// The window's title, the overlay's text and, while no frame is shown, the window's word on
// what it waits for: gathered from the device, the output, the receive thread and the frame
// slot, at most every 250 ms (the title is a system call and the overlay a draw). Main thread.
class WindowTitle {
 public:
  WindowTitle(GpuDevice& device, Output& output, WeftReceiveThread& receiver, FrameSlot& slot)
      : device_(device), output_(output), receiver_(receiver), slot_(slot) {}

  // `paced`: false while the device is being rebuilt (nothing is paced or received then, and
  // nothing is drawn). `wanted`: the sender asked for, for the waiting word.
  void Refresh(bool paced, int32_t monitor, const std::string& wanted);
  // `text` stands as the title for a second (what P did), whatever the figures say meanwhile.
  void Notice(const wchar_t* text);

 private:
  // While no frame is shown: the window's word on what it waits for, and once on standard
  // error after two seconds.
  void UpdateWaitingStatus(const std::string& wanted);

  GpuDevice& device_;
  Output& output_;
  WeftReceiveThread& receiver_;
  FrameSlot& slot_;
  WaitingNotice waitingNotice_;
  ULONGLONG lastMs_ = 0;
  ULONGLONG holdUntilMs_ = 0;
};

}  // namespace tsl

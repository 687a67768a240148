#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "gpu/frame_slot_win32.h"
#include "gpu/gpu_device_win32.h"
#include "receive/copy_textures_win32.h"
#include "receive/sender_pick.h"
#include "receive/take_requests.h"
#include "receive/weft_input_win32.h"

namespace tsl {

// Keeps the Weft receiver connected on a thread of its own, copies each new frame onto the
// application's device and publishes the copy in the frame slot, stamped with the counter time.
// With no sender name configured it picks one itself (SenderPick) while not connected.
//
// Only frames really copied from the sender are published, so the slot's version counts what
// reached us. A sender that counts its frames is polled about once a millisecond and each new
// frame is published as it comes. One that does not (or with counting off) cannot tell a new
// frame from an old one, so its texture is taken on the output's own clock: each tick asks for
// one take just before it reads the slot (TakeFrameForTick), whatever its rate and pacing.
class WeftReceiveThread {
 public:
  WeftReceiveThread() = default;
  ~WeftReceiveThread() { Stop(); }
  WeftReceiveThread(const WeftReceiveThread&) = delete;
  WeftReceiveThread& operator=(const WeftReceiveThread&) = delete;

  // False also for a sender name of 256 bytes or more, which the protocol cannot hold.
  bool Start(GpuDevice* device, FrameSlot* slot, const std::string& sender_name);
  void Stop();
  std::string SenderNameSnapshot();
  // Switches to the sender named (at the thread's next pass, without a restart); an empty name
  // follows the machine's active sender. False for a name the protocol cannot hold.
  bool SwitchSender(const std::string& name);
  // True while it follows the active sender because it was asked to.
  bool FollowingActive() const { return followingActive_; }

  // What the thread last saw while it had no usable sender (refreshed with each scan of the
  // list): the listed names, the active one, and why the wanted one's texture did not open.
  struct Waiting {
    std::vector<std::string> listed;
    std::string active;
    uint32_t open_error = 0;
  };
  Waiting WaitingSnapshot();

  // From the output tick, just before it takes the newest frame from the slot. While the sender
  // does not count its frames, asks the receive thread to take its texture now and waits at
  // most `wait` for the publication, so the tick shows a frame as new as the sender's texture.
  // Returns at once while frames are counted: each one reaches the slot as it is signalled.
  // False when the wait ran out before the take was served.
  bool TakeFrameForTick(std::chrono::microseconds wait);
  // True while the sender does not count its frames: each tick's frame is then taken for it.
  bool TakesOnRequest() const { return takesOnRequest_; }
  // How long a tick at `fps` waits for its take: a quarter of its period, 4 ms at most, so that
  // a sender holding its access lock does not hold up the output.
  static std::chrono::microseconds TakeWaitFor(double fps);

  // Receiving: connected to a sender whose frames reach the slot.
  std::atomic<bool> connected{false};
  // Sender frames received so far: a publication adds the step of the sender's count since the
  // frame before (1 where frames are not counted).
  std::atomic<uint64_t> receivedCount{0};
  // Publications made so far, one per frame copied into the slot.
  std::atomic<uint64_t> publicationCount{0};
  // Passes of the receive loop so far (the receive benchmark reads it).
  std::atomic<uint64_t> passCount{0};
  std::atomic<int32_t> senderCount{0};

 private:
  enum class Delivery { kUnusable, kPublished, kNothingNew };

  void Loop();
  // Runs passes of the receive loop until the thread is asked to stop (or a pass throws).
  void RunPasses();
  // Publishes the receiver's frame when one was copied from the sender in this pass (an
  // uncounted one only when a tick asked for it), stamped with when the pass began: when the
  // frame's signal was seen, or the take made.
  Delivery Deliver(bool& name_due, bool take_asked, uint64_t seen_qpc);

  GpuDevice* device_ = nullptr;
  FrameSlot* slot_ = nullptr;
  std::string requestedName_;
  WeftInput input_;
  SenderPick pick_;
  CopyTextures copies_;
  std::thread worker_;
  std::atomic<bool> running_{false};
  std::mutex nameMutex_;
  std::string nameSnapshot_;
  Waiting waiting_;  // under nameMutex_

  // Takes of an uncounted sender, asked for by ticks and served by the receive thread.
  std::atomic<bool> takesOnRequest_{false};
  // A switch asked for and not yet made.
  std::mutex switchMutex_;
  bool switchAsked_ = false;
  std::string switchTo_;
  std::atomic<bool> followingActive_{false};
  TakeRequests takes_;
};

}  // namespace tsl

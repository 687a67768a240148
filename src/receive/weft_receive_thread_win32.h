#pragma once

#include <d3d11.h>
#include <wrl/client.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "receive/frame_slot_win32.h"
#include "receive/weft_input_win32.h"
#include "render/gpu_device_win32.h"

namespace tsl {

// Keeps the Weft receiver connected on a thread of its own, copies each new frame onto the
// application's device and publishes the copy in the frame slot, stamped with the counter time.
// With no sender name configured it picks one itself (the first listed, else the active one)
// while not connected.
//
// Only new frames are copied and published, so the slot's version and the received count count
// sender frames. A sender that counts its frames is polled about once a millisecond; one that
// does not (or with counting off) cannot tell a new frame from an old one, so it is received and
// published once per output tick period, and every output tick then shows a "new" frame.
class WeftReceiveThread {
 public:
  WeftReceiveThread() = default;
  ~WeftReceiveThread() { Stop(); }
  WeftReceiveThread(const WeftReceiveThread&) = delete;
  WeftReceiveThread& operator=(const WeftReceiveThread&) = delete;

  // `output_fps` is the output tick rate; uncounted frames are published at most that often.
  // False also for a sender name of 256 bytes or more, which the protocol cannot hold.
  bool Start(GpuDevice* device, FrameSlot* slot, const std::string& sender_name, double output_fps);
  void Stop();
  std::string SenderNameSnapshot();

  // Receiving: connected to a sender whose frames reach the slot.
  std::atomic<bool> connected{false};
  // Frames published so far.
  std::atomic<uint64_t> receivedCount{0};
  // Passes of the receive loop so far (the receive benchmark reads it).
  std::atomic<uint64_t> passCount{0};
  std::atomic<int32_t> senderCount{0};

 private:
  enum class Delivery { kUnusable, kPublished, kNothingNew };

  void Loop();
  void Passes();
  // Copies the receiver's frame into the copy texture and publishes it when it is new (or, for
  // an uncounted frame, always: passes of an uncounted sender come once per period).
  Delivery Deliver(bool& name_due);

  GpuDevice* device_ = nullptr;
  FrameSlot* slot_ = nullptr;
  std::string requestedName_;
  std::chrono::steady_clock::duration uncountedPeriod_{};
  WeftInput input_;
  Microsoft::WRL::ComPtr<ID3D11Texture2D> copy_;
  uint32_t copyWidth_ = 0;
  uint32_t copyHeight_ = 0;
  uint32_t copyFormat_ = 0;
  std::thread worker_;
  std::atomic<bool> running_{false};
  std::mutex nameMutex_;
  std::string nameSnapshot_;
};

}  // namespace tsl

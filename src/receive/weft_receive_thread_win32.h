#pragma once

#include <d3d11.h>
#include <wrl/client.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "receive/frame_slot_win32.h"
#include "receive/weft_input_win32.h"
#include "render/gpu_device_win32.h"

namespace tsl {

// Keeps the Weft receiver connected on a thread of its own, copies every received texture onto
// the application's device and publishes the copy in the frame slot. With no sender name
// configured it picks one itself (the first listed, else the active one) while not connected.
class WeftReceiveThread {
 public:
  WeftReceiveThread() = default;
  ~WeftReceiveThread() { Stop(); }
  WeftReceiveThread(const WeftReceiveThread&) = delete;
  WeftReceiveThread& operator=(const WeftReceiveThread&) = delete;

  bool Start(GpuDevice* device, FrameSlot* slot, const std::string& sender_name);
  void Stop();
  std::string SenderNameSnapshot();

  std::atomic<bool> connected{false};
  std::atomic<uint64_t> receivedCount{0};
  std::atomic<int32_t> senderCount{0};
  // Set when a texture creation reported the device lost; cleared by Start.
  std::atomic<bool> deviceLost{false};

 private:
  void Loop();
  void Passes();
  void SleepHalfMillisecond();

  GpuDevice* device_ = nullptr;
  FrameSlot* slot_ = nullptr;
  std::string requestedName_;
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

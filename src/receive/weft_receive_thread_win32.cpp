#include "receive/weft_receive_thread_win32.h"

#include <windows.h>

#include <chrono>
#include <vector>

#include "pacing/thread_name_win32.h"

namespace tsl {

namespace {
constexpr int kMaxListedSenders = 16;
constexpr auto kScanInterval = std::chrono::milliseconds(500);
constexpr DWORD kRestartDelayMs = 100;
}  // namespace

bool WeftReceiveThread::Start(GpuDevice* device, FrameSlot* slot, const std::string& sender_name) {
  if (running_) return false;
  device_ = device;
  slot_ = slot;
  requestedName_ = sender_name;
  deviceLost = false;
  if (!input_.Open(device->device.Get(), requestedName_)) return false;
  running_ = true;
  worker_ = std::thread([this] { Loop(); });
  return true;
}

void WeftReceiveThread::Stop() {
  if (!running_.exchange(false)) return;
  if (worker_.joinable()) worker_.join();
  input_.Close();
  copy_.Reset();
  copyWidth_ = copyHeight_ = copyFormat_ = 0;
}

std::string WeftReceiveThread::SenderNameSnapshot() {
  std::lock_guard<std::mutex> guard(nameMutex_);
  return nameSnapshot_;
}

void WeftReceiveThread::SleepHalfMillisecond() {
  // Whole-millisecond system sleeps against a steady deadline: in practice one 1 ms sleep.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::microseconds(500);
  while (std::chrono::steady_clock::now() < deadline) Sleep(1);
}

void WeftReceiveThread::Loop() {
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);
  NameCurrentThread(L"tsl receive");
  // Nothing may leave a thread. A pass that throws (out of memory, a failed lock) must not
  // leave a program that looks alive and receives nothing: the loop starts again after a short
  // pause, disconnected until its next pass says otherwise.
  while (running_) {
    try {
      Passes();
    } catch (...) {
      connected = false;
      Sleep(kRestartDelayMs);
    }
  }
}

void WeftReceiveThread::Passes() {
  auto last_scan = std::chrono::steady_clock::now() - std::chrono::seconds(10);
  std::vector<std::string> names;
  names.reserve(kMaxListedSenders);
  weftDX& rx = input_.receiver();

  while (running_) {
    const bool received = input_.Receive();
    const bool is_connected = rx.IsConnected();
    connected = is_connected;

    // The sender count is refreshed every half second in every state: counted only while
    // disconnected, the title would show "0 avail" for as long as a connection lasts.
    const auto now = std::chrono::steady_clock::now();
    if (now - last_scan > kScanInterval) {
      last_scan = now;
      senderCount = input_.ListSenders(names, kMaxListedSenders);
      if (!is_connected && requestedName_.empty()) {
        if (!names.empty()) {
          input_.SetSenderName(names.front());
        } else {
          const std::string active = input_.ActiveSenderName();
          if (!active.empty()) input_.SetSenderName(active);
        }
      }
    }
    // Every pass that finds nothing usable waits as a disconnected one does, so that a sender
    // with no texture, a zero size or a texture we cannot copy never spins this thread, which
    // runs above normal priority.
    if (!received) {
      SleepHalfMillisecond();
      continue;
    }
    ID3D11Texture2D* texture = rx.GetReceivedTexture();
    const uint32_t w = rx.GetSenderWidth();
    const uint32_t h = rx.GetSenderHeight();
    const auto fmt = static_cast<uint32_t>(rx.GetSenderFormat());
    if (texture == nullptr || w == 0 || h == 0 || fmt == 0) {
      SleepHalfMillisecond();
      continue;
    }

    if (!copy_ || w != copyWidth_ || h != copyHeight_ || fmt != copyFormat_) {
      copy_.Reset();
      D3D11_TEXTURE2D_DESC desc{};
      desc.Width = w;
      desc.Height = h;
      desc.MipLevels = 1;
      desc.ArraySize = 1;
      desc.Format = static_cast<DXGI_FORMAT>(fmt);
      desc.SampleDesc.Count = 1;
      desc.Usage = D3D11_USAGE_DEFAULT;
      desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
      const HRESULT hr = device_->device->CreateTexture2D(&desc, nullptr, &copy_);
      if (FAILED(hr)) {
        if (GpuDevice::IsLostResult(hr)) deviceLost = true;
        SleepHalfMillisecond();
        continue;
      }
      copyWidth_ = w;
      copyHeight_ = h;
      copyFormat_ = fmt;
    }
    device_->context->CopyResource(copy_.Get(), texture);
    slot_->Publish(copy_.Get(), w, h, fmt);

    if (++receivedCount % 64 == 0) {
      std::string name = input_.SenderName();
      std::lock_guard<std::mutex> guard(nameMutex_);
      nameSnapshot_ = std::move(name);
    }
  }
}

}  // namespace tsl

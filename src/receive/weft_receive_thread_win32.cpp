#include "receive/weft_receive_thread_win32.h"

#include <windows.h>

#include <chrono>
#include <vector>

#include "pacing/qpc.h"
#include "pacing/thread_name_win32.h"

namespace tsl {

namespace {
constexpr int kMaxListedSenders = 16;
constexpr auto kScanInterval = std::chrono::milliseconds(500);
constexpr auto kPollInterval = std::chrono::microseconds(500);
constexpr DWORD kRestartDelayMs = 100;
constexpr double kFallbackFps = 60.0;

// Whole-millisecond system sleeps, each rounded up, until a steady deadline: a wait of half a
// millisecond is in practice one 1 ms sleep.
void SleepUntil(std::chrono::steady_clock::time_point deadline) {
  for (auto now = std::chrono::steady_clock::now(); now < deadline;
       now = std::chrono::steady_clock::now()) {
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
    Sleep(static_cast<DWORD>(ms));
  }
}
}  // namespace

bool WeftReceiveThread::Start(GpuDevice* device, FrameSlot* slot, const std::string& sender_name,
                              double output_fps) {
  if (running_) return false;
  device_ = device;
  slot_ = slot;
  requestedName_ = sender_name;
  const double fps = output_fps > 0.0 ? output_fps : kFallbackFps;
  uncountedPeriod_ = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
      std::chrono::duration<double>(1.0 / fps));
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
  connected = false;
}

std::string WeftReceiveThread::SenderNameSnapshot() {
  std::lock_guard<std::mutex> guard(nameMutex_);
  return nameSnapshot_;
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
  using Clock = std::chrono::steady_clock;
  auto last_scan = Clock::now() - std::chrono::seconds(10);
  std::vector<std::string> names;
  names.reserve(kMaxListedSenders);
  weftDX& rx = input_.receiver();
  bool name_due = true;  // the title's source name is refreshed at the next publication

  while (running_) {
    const auto pass_start = Clock::now();
    const bool received = input_.Receive();
    const bool is_connected = rx.IsConnected();
    passCount.fetch_add(1, std::memory_order_relaxed);

    if (pass_start - last_scan > kScanInterval) {
      last_scan = pass_start;
      if (received && is_connected) {
        // While receiving, the list is only counted: scanning it may drop senders from the list
        // every program reads, which is for finding a sender, not for a title figure.
        senderCount = input_.CountListedSenders();
      } else {
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
    }

    const Delivery delivery = received ? Deliver(name_due) : Delivery::kUnusable;
    connected = delivery != Delivery::kUnusable;
    if (delivery == Delivery::kUnusable) name_due = true;
    // Never back to back: a pass that found nothing usable waits as a disconnected one does;
    // an uncounted sender is received once per output period (each pass copies its texture);
    // a counting one is looked at again a millisecond later.
    if (rx.LastFrame() == weftDX::Frame::kUncounted) {
      SleepUntil(pass_start + uncountedPeriod_);
    } else {
      SleepUntil(Clock::now() + kPollInterval);
    }
  }
}

WeftReceiveThread::Delivery WeftReceiveThread::Deliver(bool& name_due) {
  weftDX& rx = input_.receiver();
  ID3D11Texture2D* texture = rx.GetReceivedTexture();
  const uint32_t w = rx.GetSenderWidth();
  const uint32_t h = rx.GetSenderHeight();
  const auto fmt = static_cast<uint32_t>(rx.GetSenderFormat());
  if (texture == nullptr || w == 0 || h == 0 || fmt == 0) return Delivery::kUnusable;

  bool fresh_copy = false;
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
    if (!device_->Check(device_->device->CreateTexture2D(&desc, nullptr, &copy_))) {
      return Delivery::kUnusable;
    }
    copyWidth_ = w;
    copyHeight_ = h;
    copyFormat_ = fmt;
    fresh_copy = true;
  }
  // A new copy texture holds nothing yet: it takes the receiver's frame whatever the count says.
  if (rx.LastFrame() == weftDX::Frame::kNone && !fresh_copy) return Delivery::kNothingNew;

  device_->context->CopyResource(copy_.Get(), texture);
  slot_->Publish(copy_.Get(), w, h, fmt, QpcNow());
  if (++receivedCount % 64 == 0 || name_due) {
    name_due = false;
    std::string name = input_.SenderName();
    std::lock_guard<std::mutex> guard(nameMutex_);
    nameSnapshot_ = std::move(name);
  }
  return Delivery::kPublished;
}

}  // namespace tsl

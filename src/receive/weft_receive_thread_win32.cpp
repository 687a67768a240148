#include "receive/weft_receive_thread_win32.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "base/qpc.h"
#include "base/thread_name_win32.h"
#include "base/tick_rate.h"
#include "weft/weft_protocol.h"

namespace tsl {

namespace {
using Clock = std::chrono::steady_clock;

constexpr int kMaxListedSenders = 16;
constexpr auto kScanInterval = std::chrono::milliseconds(500);
constexpr auto kPollInterval = std::chrono::microseconds(500);
// While takes are on request and no tick asks (the output is stopped or rebuilding), the
// connection is still looked at this often, so a sender that leaves is noticed.
constexpr auto kQuietTakeInterval = std::chrono::milliseconds(100);
constexpr DWORD kRestartDelayMs = 100;
constexpr auto kLongestTakeWait = std::chrono::microseconds(4'000);
constexpr uint64_t kNameRefreshFrames = 64;

// Whole-millisecond system sleeps, each rounded up, until a steady deadline: a wait of half a
// millisecond is in practice one 1 ms sleep.
void SleepUntil(Clock::time_point deadline) {
  for (auto now = Clock::now(); now < deadline; now = Clock::now()) {
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
    Sleep(static_cast<DWORD>(ms));
  }
}

int64_t SteadyMs(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
}
}  // namespace

bool WeftReceiveThread::Start(GpuDevice* device, FrameSlot* slot, const std::string& sender_name) {
  if (running_) return false;
  device_ = device;
  slot_ = slot;
  requestedName_ = sender_name;
  if (!input_.Open(device->device.Get(), requestedName_)) return false;
  running_ = true;
  takes_.Open();
  worker_ = std::thread([this] { Loop(); });
  return true;
}

void WeftReceiveThread::Stop() {
  if (!running_.exchange(false)) return;
  // Wakes the thread from a wait for a take, and a tick waiting for one.
  takes_.Close();
  if (worker_.joinable()) worker_.join();
  input_.Close();
  copies_.Release();
  connected = false;
  takesOnRequest_ = false;
}

bool WeftReceiveThread::SwitchSender(const std::string& name) {
  if (name.size() > weft::kMaxNameBytes) return false;
  std::lock_guard<std::mutex> guard(switchMutex_);
  switchAsked_ = true;
  switchTo_ = name;
  return true;
}

std::string WeftReceiveThread::SenderNameSnapshot() {
  std::lock_guard<std::mutex> guard(nameMutex_);
  return nameSnapshot_;
}

WeftReceiveThread::Waiting WeftReceiveThread::WaitingSnapshot() {
  std::lock_guard<std::mutex> guard(nameMutex_);
  return waiting_;
}

std::chrono::microseconds WeftReceiveThread::TakeWaitFor(double fps) {
  const auto quarter = base::TickRate(fps).PeriodUs() / 4;
  return std::min(quarter, kLongestTakeWait);
}

bool WeftReceiveThread::TakeFrameForTick(std::chrono::microseconds wait) {
  return !takesOnRequest_ || takes_.AskAndWait(wait);
}

void WeftReceiveThread::Loop() {
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);
  base::NameCurrentThread(L"tsl receive");
  // Nothing may leave a thread. A pass that throws (out of memory, a failed lock) must not
  // leave a program that looks alive and receives nothing: the loop starts again after a short
  // pause, disconnected until its next pass says otherwise.
  while (running_) {
    try {
      RunPasses();
    } catch (...) {
      connected = false;
      takesOnRequest_ = false;
      Sleep(kRestartDelayMs);
    }
  }
}

void WeftReceiveThread::RunPasses() {
  auto last_scan = Clock::now() - std::chrono::seconds(10);
  std::vector<std::string> names;
  names.reserve(kMaxListedSenders);
  weftDX& rx = input_.Receiver();
  bool name_due = true;  // the title's source name is refreshed at the next publication

  while (running_) {
    // Asked for before the pass starts, so the pass takes a texture at least as new as the ask.
    uint64_t asked = 0;
    bool take_asked = false;
    if (takesOnRequest_) {
      asked = takes_.WaitForAsk(kQuietTakeInterval, take_asked);
      if (!running_) break;
    }

    {
      std::lock_guard<std::mutex> guard(switchMutex_);
      if (switchAsked_) {
        // A sender picked by name is kept to; "follow the active sender" asks the list each
        // pass, and no pick of its own replaces it.
        switchAsked_ = false;
        requestedName_ = switchTo_;
        followingActive_ = switchTo_.empty();
        input_.SetSenderName(switchTo_);
        name_due = true;
      }
    }
    const auto pass_start = Clock::now();
    const uint64_t seen_qpc = base::QpcNow();  // a frame this pass finds was seen now
    const bool received = input_.Receive();
    const bool is_connected = rx.IsConnected();
    passCount.fetch_add(1, std::memory_order_relaxed);

    const Delivery delivery =
        received ? Deliver(name_due, take_asked, seen_qpc) : Delivery::kUnusable;
    connected = delivery != Delivery::kUnusable;
    if (connected) {
      pick_.Connected(SteadyMs(pass_start));
    } else {
      name_due = true;
    }
    takesOnRequest_ = connected && !rx.CountsFrames();
    takes_.Served(asked);

    // After the frame is out, so that a tick waiting for it or a frame just signalled never
    // waits for the list. Counting drops only names whose segment cannot exist, which is safe
    // at any time, so "avail" never counts a dead name, connected or not.
    if (pass_start - last_scan > kScanInterval) {
      last_scan = pass_start;
      // A tick's ask ends the walk over the senders: the rest are looked at next scan.
      senderCount =
          input_.ListSenders(names, kMaxListedSenders, [this] { return takes_.Unserved(); });
      const bool picking = !is_connected && requestedName_.empty() && !followingActive_;
      // Read at most once a scan, for both uses below; it waits for no sender's lock.
      const std::string active = !connected || picking ? input_.ActiveSenderName() : std::string();
      if (!connected) {
        // For the window's word on what it waits for.
        Waiting waiting{names, active, rx.OpenFailure()};
        std::lock_guard<std::mutex> guard(nameMutex_);
        waiting_ = std::move(waiting);
      }
      if (picking) {
        const std::string pick = pick_.Choose(names, active, SteadyMs(pass_start));
        if (!pick.empty()) input_.SetSenderName(pick);
      }
    }
    // A counting sender is looked at again a millisecond later; a pass that found nothing
    // usable waits as a disconnected one does. Takes on request wait for the next ask instead.
    if (!takesOnRequest_) SleepUntil(Clock::now() + kPollInterval);
  }
}

WeftReceiveThread::Delivery WeftReceiveThread::Deliver(bool& name_due, bool take_asked,
                                                       uint64_t seen_qpc) {
  weftDX& rx = input_.Receiver();
  ID3D11Texture2D* texture = rx.GetReceivedTexture();
  const uint32_t w = rx.GetSenderWidth();
  const uint32_t h = rx.GetSenderHeight();
  const auto fmt = static_cast<uint32_t>(rx.GetSenderFormat());
  if (texture == nullptr || w == 0 || h == 0 || fmt == 0) return Delivery::kUnusable;

  // Nothing copied (no new frame, or the sender held its lock): the receiving texture may hold
  // nothing yet, or an old frame; the slot keeps the frame it has.
  const weftDX::Frame frame = rx.LastFrame();
  if (frame == weftDX::Frame::kNone) return Delivery::kNothingNew;
  if (frame == weftDX::Frame::kUncounted && !take_asked) return Delivery::kNothingNew;

  ID3D11Texture2D* target = copies_.Next(*device_, w, h, fmt);
  if (target == nullptr) return Delivery::kUnusable;
  device_->context->CopyResource(target, texture);
  slot_->Publish(target, w, h, fmt, seen_qpc);
  copies_.Published();
  publicationCount.fetch_add(1);

  const uint64_t step = rx.LastFrameStep();
  const uint64_t before = receivedCount.fetch_add(step);
  if ((before + step) / kNameRefreshFrames != before / kNameRefreshFrames || name_due) {
    name_due = false;
    std::string name = input_.SenderName();
    std::lock_guard<std::mutex> guard(nameMutex_);
    nameSnapshot_ = std::move(name);
  }
  return Delivery::kPublished;
}

}  // namespace tsl

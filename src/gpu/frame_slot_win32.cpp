#include "gpu/frame_slot_win32.h"

#include <utility>

#include "base/qpc.h"

namespace tsl {

void FrameSlot::Publish(ID3D11Texture2D* texture, uint32_t width, uint32_t height, uint32_t format,
                        uint64_t seen_qpc) {
  const uint64_t now = base::QpcNow();
  std::lock_guard<std::mutex> guard(mutex_);
  // The reference the previous frame held is dropped after the lock (in the swap's temporary).
  SlotFrame older = std::exchange(previous_, std::move(newest_));
  newest_.texture = texture;
  newest_.width = width;
  newest_.height = height;
  newest_.format = format;
  newest_.seen_qpc = seen_qpc;
  newest_.published_qpc = now;
  newest_.version = version_.fetch_add(1) + 1;
}

void FrameSlot::CopyOut(const SlotFrame& from, SlotFrame& to) {
  if (to.texture.Get() != from.texture.Get()) to.texture = from.texture;
  to.width = from.width;
  to.height = from.height;
  to.format = from.format;
  to.version = from.version;
  to.seen_qpc = from.seen_qpc;
  to.published_qpc = from.published_qpc;
}

bool FrameSlot::Latest(SlotFrame& frame) { return AtMost(UINT64_MAX, frame); }

bool FrameSlot::AtMost(uint64_t version, SlotFrame& frame) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (!newest_.texture) return false;
  const bool older = version < newest_.version && previous_.texture;
  CopyOut(older ? previous_ : newest_, frame);
  return true;
}

void FrameSlot::Stamps(uint64_t& newest_version, uint64_t& newest_seen_qpc,
                       uint64_t& previous_version, uint64_t& previous_seen_qpc) {
  std::lock_guard<std::mutex> guard(mutex_);
  newest_version = newest_.texture ? newest_.version : 0;
  newest_seen_qpc = newest_.seen_qpc;
  previous_version = previous_.texture ? previous_.version : 0;
  previous_seen_qpc = previous_.seen_qpc;
}

void FrameSlot::Clear() {
  SlotFrame newest;
  SlotFrame previous;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    std::swap(newest, newest_);
    std::swap(previous, previous_);
  }
  // The references are dropped here, outside the lock.
}

int32_t FrameSlot::Format() {
  std::lock_guard<std::mutex> guard(mutex_);
  return newest_.texture ? static_cast<int32_t>(newest_.format) : 0;
}

}  // namespace tsl

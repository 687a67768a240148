#include "receive/frame_slot_win32.h"

#include "pacing/qpc.h"

namespace tsl {

void FrameSlot::Publish(ID3D11Texture2D* texture, uint32_t width, uint32_t height, uint32_t format,
                        uint64_t seen_qpc) {
  const uint64_t now = QpcNow();
  std::lock_guard<std::mutex> guard(mutex_);
  if (texture_.Get() != texture) texture_ = texture;
  width_ = width;
  height_ = height;
  format_ = format;
  seenQpc_ = seen_qpc;
  publishedQpc_ = now;
  version_.fetch_add(1);
}

bool FrameSlot::Latest(SlotFrame& frame) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (!texture_) return false;
  if (frame.texture.Get() != texture_.Get()) frame.texture = texture_;
  frame.width = width_;
  frame.height = height_;
  frame.format = format_;
  frame.version = version_.load();
  frame.seen_qpc = seenQpc_;
  frame.published_qpc = publishedQpc_;
  return true;
}

void FrameSlot::Clear() {
  Microsoft::WRL::ComPtr<ID3D11Texture2D> released;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    released.Swap(texture_);
    width_ = height_ = format_ = 0;
  }
  // The reference is dropped here, outside the lock.
}

int32_t FrameSlot::Format() {
  std::lock_guard<std::mutex> guard(mutex_);
  return static_cast<int32_t>(format_);
}

}  // namespace tsl

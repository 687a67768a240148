#include "emulation/emulated_texture_publisher_win32.h"

#include <cstring>

namespace tsl::emulation {

volatile LONG* EmulatedTexturePublisher::Counter(size_t offset) const {
  return reinterpret_cast<volatile LONG*>(mapping_.data() + offset);
}

bool EmulatedTexturePublisher::Publish(uint32_t share_handle, uint32_t width, uint32_t height,
                                       uint32_t format, const std::vector<uint32_t>& pixels) {
  Close();
  const uint32_t pixel_bytes = BytesPerPixel(format);
  const TextureDescription d{width, height, format, width * pixel_bytes};
  if (pixel_bytes == 0 || width == 0 || height == 0 || width > kMaxDimension ||
      height > kMaxDimension || pixels.size() != WordsFor(d)) {
    return false;
  }
  const size_t bytes = MappingBytes(d);
  // A receiver may still hold the mapping of an earlier publication under this value; it then
  // keeps the size it was made with.
  if (!mapping_.Create(MappingName(share_handle).c_str(), bytes) || mapping_.size() < bytes) {
    Close();
    return false;
  }
  WriteDescription(d, mapping_.data());
  description_ = d;
  if (!mapping_.Existed()) {
    InterlockedExchange(Counter(kSequenceOffset), 0);
    InterlockedExchange(Counter(kOpenersOffset), 0);
    InterlockedExchange(Counter(kRefreshedOffset), 0);
    WritePixels(pixels);
    return true;
  }
  return Update(pixels);
}

size_t EmulatedTexturePublisher::WordsFor(const TextureDescription& d) {
  return static_cast<size_t>(d.row_pitch / 4) * d.height;
}

void EmulatedTexturePublisher::WritePixels(const std::vector<uint32_t>& pixels) {
  std::memcpy(mapping_.data() + kHeaderBytes, pixels.data(), pixels.size() * 4);
}

bool EmulatedTexturePublisher::Write(const std::vector<uint32_t>& pixels) {
  if (!mapping_ || pixels.size() != WordsFor(description_)) {
    return false;
  }
  WritePixels(pixels);
  // Refreshed is cleared before the sequence moves, so a receiver's count always belongs to
  // the newest sequence.
  InterlockedExchange(Counter(kRefreshedOffset), 0);
  InterlockedIncrement(Counter(kSequenceOffset));
  return true;
}

void EmulatedTexturePublisher::WaitUntilRefreshed(uint32_t wait_ms) {
  if (!mapping_) return;
  const ULONGLONG deadline = GetTickCount64() + wait_ms;
  while (InterlockedCompareExchange(Counter(kRefreshedOffset), 0, 0) <
             InterlockedCompareExchange(Counter(kOpenersOffset), 0, 0) &&
         GetTickCount64() < deadline) {
    Sleep(1);
  }
}

void EmulatedTexturePublisher::Close() {
  mapping_.Close();
  description_ = TextureDescription{};
}

}  // namespace tsl::emulation

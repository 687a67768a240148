#include "emulation/emulated_texture_publisher_win32.h"

#include <cstring>

namespace tsl::emulation {

volatile LONG* EmulatedTexturePublisher::Counter(size_t offset) const {
  return reinterpret_cast<volatile LONG*>(view_ + offset);
}

bool EmulatedTexturePublisher::Publish(uint32_t share_handle, uint32_t width, uint32_t height,
                                       uint32_t format, const std::vector<uint32_t>& pixels) {
  Close();
  const TextureDescription d{width, height, format, width * kBytesPerPixel};
  if (width == 0 || height == 0 || width > kMaxDimension || height > kMaxDimension ||
      pixels.size() != static_cast<size_t>(width) * height) {
    return false;
  }
  const size_t bytes = MappingBytes(d);
  mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                static_cast<DWORD>(bytes), MappingName(share_handle).c_str());
  if (mapping_ == nullptr) return false;
  // A receiver may still hold the mapping of an earlier publication under this value; it then
  // keeps the size it was made with.
  const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
  view_ = static_cast<uint8_t*>(MapViewOfFile(mapping_, FILE_MAP_ALL_ACCESS, 0, 0, 0));
  MEMORY_BASIC_INFORMATION info{};
  if (view_ == nullptr || VirtualQuery(view_, &info, sizeof info) == 0 || info.RegionSize < bytes) {
    Close();
    return false;
  }
  WriteDescription(d, view_);
  description_ = d;
  if (!existed) {
    InterlockedExchange(Counter(kSequenceOffset), 0);
    InterlockedExchange(Counter(kOpenersOffset), 0);
    InterlockedExchange(Counter(kRefreshedOffset), 0);
    WritePixels(pixels);
    return true;
  }
  return Update(pixels);
}

void EmulatedTexturePublisher::WritePixels(const std::vector<uint32_t>& pixels) {
  std::memcpy(view_ + kHeaderBytes, pixels.data(), pixels.size() * kBytesPerPixel);
}

bool EmulatedTexturePublisher::Write(const std::vector<uint32_t>& pixels) {
  if (view_ == nullptr ||
      pixels.size() != static_cast<size_t>(description_.width) * description_.height) {
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
  if (view_ == nullptr) return;
  const ULONGLONG deadline = GetTickCount64() + wait_ms;
  while (InterlockedCompareExchange(Counter(kRefreshedOffset), 0, 0) <
             InterlockedCompareExchange(Counter(kOpenersOffset), 0, 0) &&
         GetTickCount64() < deadline) {
    Sleep(1);
  }
}

void EmulatedTexturePublisher::Close() {
  if (view_ != nullptr) UnmapViewOfFile(view_);
  view_ = nullptr;
  description_ = TextureDescription{};
  if (mapping_ != nullptr) CloseHandle(mapping_);
  mapping_ = nullptr;
}

}  // namespace tsl::emulation

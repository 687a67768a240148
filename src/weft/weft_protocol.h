#pragma once

// The Weft wire contract in one place: every name, size and layout here is shared with sender
// processes we do not control. Change nothing without changing every Weft program.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace weft {

// Named shared-memory segments.
// The texture formats a sender's record names most, by their DXGI numbers (the record holds
// the number).
inline constexpr uint32_t kFormatBgra8 = 87;  // DXGI_FORMAT_B8G8R8A8_UNORM
inline constexpr uint32_t kFormatRgba8 = 28;  // DXGI_FORMAT_R8G8B8A8_UNORM

// The names formats go by where a person reads or types them (the title, the sender menu, a
// sender's --format). The last `kUntitledFormats` are named only to be typed: the title calls
// them "other".
struct NamedFormat {
  uint32_t format;
  const char* name;
};
inline constexpr NamedFormat kNamedFormats[] = {
    {2, "RGBA32F"},      {10, "RGBA16F"},        {11, "RGBA16"},
    {24, "R10G10B10A2"}, {27, "RGBA8_typeless"}, {28, "RGBA8"},
    {29, "RGBA8_sRGB"},  {87, "BGRA8"},          {90, "BGRA8_typeless"},
    {91, "BGRA8_sRGB"},  {9, "RGBA16_typeless"}, {23, "R10G10B10A2_typeless"},
};
inline constexpr size_t kUntitledFormats = 2;

inline constexpr char kSenderNamesSegment[] = "WeftSenderNames";
inline constexpr char kActiveSenderSegment[] = "ActiveSenderName";
// A segment's guarding mutex is its name with this suffix.
inline constexpr char kSegmentMutexSuffix[] = "_mutex";

// Sender list: maxSenders slots of this many bytes, each a NUL-terminated name.
inline constexpr int32_t kSlotBytes = 256;
inline constexpr int32_t kDefaultMaxSenders = 64;
// Every name buffer: at most 255 bytes and the terminating NUL.
inline constexpr size_t kNameBufferBytes = 256;
inline constexpr size_t kMaxNameBytes = kNameBufferBytes - 1;
inline constexpr int32_t kActiveSenderSegmentBytes = 256;

// Per-sender synchronisation objects: the sender name with these suffixes
// ("%s_Count_Semaphore", "%s_WeftAccessMutex"), built in buffers of the sizes below.
inline constexpr char kCountSemaphoreSuffix[] = "_Count_Semaphore";
inline constexpr char kAccessMutexSuffix[] = "_WeftAccessMutex";
inline constexpr size_t kSemaphoreNameBytes = 256;
inline constexpr size_t kAccessMutexNameBytes = 512;
inline constexpr int32_t kCountSemaphoreInitial = 1;
inline constexpr int32_t kCountSemaphoreMaximum = 0x7FFFFFFF;

// Every cross-process wait is bounded by this.
inline constexpr uint32_t kLockTimeoutMs = 67;

// Registry settings, under HKEY_CURRENT_USER.
inline constexpr char kRegistryKey[] = "Software\\Weftworks\\Weft";
inline constexpr char kMaxSendersValue[] = "MaxSenders";
inline constexpr char kFrameCountValue[] = "Framecount";

// The first 280 bytes of a sender's segment: 70 little-endian 32-bit words.
inline constexpr size_t kSenderInfoRecordBytes = 280;

struct SenderInfoRecord {
  uint32_t shareHandle = 0;  // 32-bit share handle; widened to a handle by sign extension
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t format = 0;  // DXGI_FORMAT code
  uint8_t rest[264] = {};
};
static_assert(sizeof(SenderInfoRecord) == kSenderInfoRecordBytes, "record layout");
static_assert(offsetof(SenderInfoRecord, width) == 4 && offsetof(SenderInfoRecord, height) == 8 &&
                  offsetof(SenderInfoRecord, format) == 12 &&
                  offsetof(SenderInfoRecord, rest) == 16,
              "record field offsets");

// A little-endian 32-bit word of shared memory, whatever the host byte order.
inline uint32_t ReadWordLE(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

inline void WriteWordLE(uint8_t* bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

// Reads a record from the first 280 bytes of a sender segment.
inline SenderInfoRecord ReadSenderInfoRecord(const uint8_t* bytes) {
  SenderInfoRecord record;
  record.shareHandle = ReadWordLE(bytes);
  record.width = ReadWordLE(bytes + 4);
  record.height = ReadWordLE(bytes + 8);
  record.format = ReadWordLE(bytes + 12);
  std::memcpy(record.rest, bytes + 16, sizeof record.rest);
  return record;
}

inline void WriteSenderInfoRecord(const SenderInfoRecord& record, uint8_t* bytes) {
  WriteWordLE(bytes, record.shareHandle);
  WriteWordLE(bytes + 4, record.width);
  WriteWordLE(bytes + 8, record.height);
  WriteWordLE(bytes + 12, record.format);
  std::memcpy(bytes + 16, record.rest, sizeof record.rest);
}

// The share handle as a pointer-sized value: the 32-bit word sign-extended.
inline intptr_t ShareHandleValue(uint32_t share_handle) {
  return static_cast<intptr_t>(static_cast<int32_t>(share_handle));
}

}  // namespace weft

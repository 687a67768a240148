#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/unique_handle_win32.h"
#include "weft/mapped_view_win32.h"
#include "weft/weft_protocol.h"

// The protocol's names for what a create did.
// NOLINTBEGIN(readability-identifier-naming)
enum SegmentCreateResult {
  WEFT_CREATE_FAILED = 0,
  WEFT_CREATE_NEW = 1,
  WEFT_CREATE_OPENED = 2,
  WEFT_CREATE_HELD = 3,
};
// NOLINTEND(readability-identifier-naming)

// One named, page-file-backed shared-memory segment and the named mutex ("<name>_mutex") that
// guards it across processes. Lock nests per object; the first level waits at most 67 ms, or
// the wait asked for (0: only a lock that is free now).
class WeftSharedMemory {
 public:
  WeftSharedMemory() = default;
  ~WeftSharedMemory();
  WeftSharedMemory(const WeftSharedMemory&) = delete;
  WeftSharedMemory& operator=(const WeftSharedMemory&) = delete;

  SegmentCreateResult Create(const char* name, int32_t size);
  bool Open(const char* name);
  // The mapped view, or null when the segment is not held or its mutex was not obtained.
  char* Lock(DWORD wait_ms = weft::kLockTimeoutMs);
  void Unlock();
  void Close();
  int32_t Size() const { return size_; }

  // Bytes of the view that the system actually mapped (whole pages); another process may have
  // created the segment smaller than this object asked for. 0 when nothing is held.
  size_t ViewBytes() const { return segment_.size(); }

 private:
  bool OpenMutex(const char* name);
  char* View() const { return reinterpret_cast<char*>(segment_.data()); }

  weft::MappedView segment_;
  base::UniqueHandle mutex_;
  int32_t lockCount_ = 0;
  int32_t size_ = 0;
};

// One level of a segment's lock, held for a scope and given back however the scope is left:
// an exception between taking and giving back would otherwise leave the mutex owned by a live
// thread, and every Weft program on the machine timing out on the segment until this one exits.
class SegmentLock {
 public:
  explicit SegmentLock(WeftSharedMemory& segment, DWORD wait_ms = weft::kLockTimeoutMs)
      : segment_(segment), view_(segment.Lock(wait_ms)) {}
  ~SegmentLock() {
    if (view_ != nullptr) segment_.Unlock();
  }
  SegmentLock(const SegmentLock&) = delete;
  SegmentLock& operator=(const SegmentLock&) = delete;

  // The mapped view; null when the lock was not obtained.
  char* View() const { return view_; }

 private:
  WeftSharedMemory& segment_;
  char* view_;
};

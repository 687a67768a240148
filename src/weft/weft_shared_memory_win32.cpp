#include "weft/weft_shared_memory_win32.h"

#include <exception>

#include "weft/weft_log.h"
#include "weft/weft_names.h"
#include "weft/weft_protocol.h"

using weft::LogError;

WeftSharedMemory::~WeftSharedMemory() {
  try {
    Close();
  } catch (...) {
    MessageBoxA(nullptr, "Exception in WeftSharedMemory destructor", nullptr, MB_OK);
  }
}

// Maps the whole segment and creates (or opens) its mutex. On failure everything is closed.
bool WeftSharedMemory::MapAndLock(const char* name) {
  view_ = static_cast<char*>(MapViewOfFile(mapping_.get(), FILE_MAP_ALL_ACCESS, 0, 0, 0));
  if (view_ == nullptr) {
    Close();
    return false;
  }
  MEMORY_BASIC_INFORMATION info{};
  view_bytes_ = VirtualQuery(view_, &info, sizeof info) != 0 ? info.RegionSize : 0;

  std::string mutex_name;
  if (!weft::SegmentMutexName(name, mutex_name)) {
    Close();
    return false;
  }
  mutex_.reset(CreateMutexA(nullptr, FALSE, mutex_name.c_str()));
  if (!mutex_) {
    Close();
    return false;
  }
  return true;
}

SegmentCreateResult WeftSharedMemory::Create(const char* name, int32_t size) {
  if (mapping_) return WEFT_CREATE_HELD;
  if (weft::BoundedNameLength(name) < 0) return WEFT_CREATE_FAILED;

  mapping_.reset(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                    static_cast<DWORD>(size), name));
  if (!mapping_) {
    const DWORD e = GetLastError();
    LogError("WeftSharedMemory::Create - Failed error = %lu (0x%4.4lX)", e, e);
    return WEFT_CREATE_FAILED;
  }
  bool existed = false;
  const DWORD e = GetLastError();
  if (e == ERROR_ALREADY_EXISTS) {
    SetLastError(0);
    existed = true;
  } else if (e != 0) {
    LogError("WeftSharedMemory::Create - Error = %lu (0x%4.4lX)", e, e);
  }
  if (!MapAndLock(name)) return WEFT_CREATE_FAILED;
  name_ = name;
  size_ = size;
  return existed ? WEFT_CREATE_OPENED : WEFT_CREATE_NEW;
}

bool WeftSharedMemory::Open(const char* name) {
  if (mapping_) return true;
  if (weft::BoundedNameLength(name) < 0) return false;
  mapping_.reset(OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name));
  if (!mapping_) return false;
  if (!MapAndLock(name)) return false;
  SetLastError(0);
  name_ = name;
  size_ = 0;
  return true;
}

char* WeftSharedMemory::Lock() {
  if (lock_count_ < 0 || !mutex_ || view_ == nullptr) return nullptr;
  if (lock_count_ > 0) {
    ++lock_count_;
    return view_;
  }
  const DWORD wait = WaitForSingleObject(mutex_.get(), weft::kLockTimeoutMs);
  if (wait == WAIT_OBJECT_0) {
    ++lock_count_;
    return view_;
  }
  if (wait == WAIT_ABANDONED) {
    // The previous owner died holding the mutex and the wait made us its owner. The segment may
    // be half-written, so this attempt fails; give the ownership back at once so that the next
    // Lock, here or in another process, is not locked out.
    ReleaseMutex(mutex_.get());
  }
  return nullptr;
}

void WeftSharedMemory::Unlock() {
  --lock_count_;
  if (lock_count_ == 0 && mutex_) ReleaseMutex(mutex_.get());
}

void WeftSharedMemory::Close() {
  if (view_ != nullptr) {
    UnmapViewOfFile(view_);
    view_ = nullptr;
  }
  view_bytes_ = 0;
  mapping_.reset();
  mutex_.reset();
  name_.clear();
  size_ = 0;
}

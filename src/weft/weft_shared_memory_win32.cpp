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

// Creates (or opens) the segment's mutex once the view is mapped. On failure everything is
// closed.
bool WeftSharedMemory::OpenMutex(const char* name) {
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
  if (segment_) return WEFT_CREATE_HELD;
  if (weft::BoundedNameLength(name) < 0) return WEFT_CREATE_FAILED;

  if (!segment_.Create(name, static_cast<uint32_t>(size))) {
    const DWORD e = segment_.MappingError();
    if (e != 0 && e != ERROR_ALREADY_EXISTS) {
      LogError("WeftSharedMemory::Create - Failed error = %lu (0x%4.4lX)", e, e);
    }
    return WEFT_CREATE_FAILED;
  }
  const bool existed = segment_.Existed();
  if (existed) SetLastError(0);
  if (!OpenMutex(name)) return WEFT_CREATE_FAILED;
  size_ = size;
  return existed ? WEFT_CREATE_OPENED : WEFT_CREATE_NEW;
}

bool WeftSharedMemory::Open(const char* name) {
  if (segment_) return true;
  if (weft::BoundedNameLength(name) < 0) return false;
  if (!segment_.Open(name)) return false;  // GetLastError says why, for the caller
  if (!OpenMutex(name)) return false;
  SetLastError(0);
  size_ = 0;
  return true;
}

char* WeftSharedMemory::Lock(DWORD wait_ms) {
  if (lockCount_ < 0 || !mutex_ || !segment_) return nullptr;
  if (lockCount_ > 0) {
    ++lockCount_;
    return View();
  }
  const DWORD wait = WaitForSingleObject(mutex_.get(), wait_ms);
  if (wait == WAIT_OBJECT_0) {
    ++lockCount_;
    return View();
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
  --lockCount_;
  if (lockCount_ == 0 && mutex_) ReleaseMutex(mutex_.get());
}

void WeftSharedMemory::Close() {
  segment_.Close();
  mutex_.reset();
  size_ = 0;
}

#include "weft/weft_frame_count_win32.h"

#include <dxgi.h>
#include <wrl/client.h>

#include <cstring>
#include <string>

#include "weft/weft_log.h"
#include "weft/weft_names.h"
#include "weft/weft_registry_win32.h"

using Microsoft::WRL::ComPtr;
using weft::LogError;
using weft::LogNotice;
using weft::LogWarning;

namespace {

unsigned HandleBits(HANDLE handle) {
  return static_cast<unsigned>(reinterpret_cast<uintptr_t>(handle));
}

// The native query of a semaphore's count, which reads it without taking one: resolved once
// from ntdll, null where the system lacks it.
struct SemaphoreBasicInformation {
  ULONG currentCount;
  ULONG maximumCount;
};
using QuerySemaphoreFunction = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
constexpr int kSemaphoreBasicInformation = 0;

QuerySemaphoreFunction QuerySemaphore() {
  static const auto function = [] {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll == nullptr ? nullptr
                            : reinterpret_cast<QuerySemaphoreFunction>(reinterpret_cast<void*>(
                                  GetProcAddress(ntdll, "NtQuerySemaphore")));
  }();
  return function;
}

}  // namespace

WeftFrameCount::WeftFrameCount() {
  DWORD value = 0;
  frameCountEnabled_ = weft::ReadDwordFromRegistry(HKEY_CURRENT_USER, weft::kRegistryKey,
                                                   weft::kFrameCountValue, &value) &&
                       value == 1;
}

WeftFrameCount::~WeftFrameCount() = default;

bool WeftFrameCount::CreateAccessMutex(const char* name) {
  std::string mutex_name;
  if (!weft::AccessMutexName(name, mutex_name)) return false;
  LogNotice("weftFrameCount::CreateAccessMutex - [%s]", mutex_name.c_str());
  base::UniqueHandle handle(CreateMutexA(nullptr, FALSE, mutex_name.c_str()));
  const DWORD error = GetLastError();
  if (!handle) {
    LogError("    NULL handle");
    return false;
  }
  if (error == ERROR_INVALID_HANDLE) {
    LogError("    invalid handle");
    return false;
  }
  if (error == ERROR_ALREADY_EXISTS) {
    LogNotice("    texture access mutex exists [0x%.7X]", HandleBits(handle.get()));
  } else {
    LogNotice("    texture access mutex created [0x%.7X]", HandleBits(handle.get()));
  }
  accessMutex_ = std::move(handle);
  return true;
}

void WeftFrameCount::CloseAccessMutex() {
  LogNotice("WeftFrameCount::CloseAccessMutex");
  accessMutex_.reset();
}

void WeftFrameCount::EnableFrameCount(const char* name) {
  if (name == nullptr) {
    LogWarning("WeftFrameCount::EnableFrameCount - no sender name");
    return;
  }
  const long length = weft::BoundedNameLength(name);
  LogNotice("WeftFrameCount::EnableFrameCount - [%.*s]",
            static_cast<int>(length < 0 ? 255 : length), name);
  if (!frameCountEnabled_) {
    LogNotice("    Setting not enabled");
    return;
  }
  frameCount_ = 0;
  lastFrameCount_ = 0;
  if (countSemaphore_) {
    LogNotice("    Semaphore already enabled [0x%.7X] ", HandleBits(countSemaphore_.get()));
    return;
  }
  std::string semaphore_name;
  if (!weft::CountSemaphoreName(name, semaphore_name)) {
    // The semaphore name is limited to 255 bytes: a longer sender name cannot be counted, and
    // reception goes on copying every pass.
    LogWarning("WeftFrameCount::EnableFrameCount - sender name too long for frame counting");
    return;
  }
  std::memcpy(senderName_, name, static_cast<size_t>(length) + 1);
  std::memcpy(semaphoreName_, semaphore_name.c_str(), semaphore_name.size() + 1);

  HANDLE handle = CreateSemaphoreA(nullptr, weft::kCountSemaphoreInitial,
                                   weft::kCountSemaphoreMaximum, semaphoreName_);
  const DWORD error = GetLastError();
  switch (error) {
    case 0:
      LogNotice("    frame count semaphore [%s] created [0x%7.7X]", semaphoreName_,
                HandleBits(handle) & 0xFFFF);
      break;
    case ERROR_INVALID_HANDLE:
      LogError("    invalid semaphore handle");
      break;
    case ERROR_ALREADY_EXISTS:
      LogNotice("    frame count semaphore [%s] exists [0x%7.7X]", semaphoreName_,
                HandleBits(handle) & 0xFFFF);
      break;
    default:
      LogNotice("    unknown error %d (0x%X)", static_cast<int>(error),
                static_cast<unsigned>(error));
      break;
  }
  if (handle == nullptr) LogError("    could not create handle");
  countSemaphore_.reset(handle);
}

void WeftFrameCount::CleanupFrameCount() {
  LogNotice("WeftFrameCount::CleanupFrameCount");
  countSemaphore_.reset();
  accessMutex_.reset();
  senderName_[0] = '\0';
  frameCount_ = 0;
  lastFrameCount_ = 0;
  lastStep_ = 1;
}

std::optional<int32_t> WeftFrameCount::ReadCount() {
  switch (WaitForSingleObject(countSemaphore_.get(), 0)) {
    case WAIT_OBJECT_0: {
      // Put back what the wait took; the previous count is the sender's count less that one.
      LONG previous = 0;
      if (!ReleaseSemaphore(countSemaphore_.get(), 1, &previous)) {
        LogError("weftFrameCount::GetNewFrame - ReleaseSemaphore failed");
        return std::nullopt;
      }
      return static_cast<int32_t>(previous);
    }
    case WAIT_TIMEOUT:
      return 0;  // nothing counted yet
    case WAIT_ABANDONED:
      LogWarning("WeftFrameCount::GetNewFrame - WAIT_ABANDONED");
      return std::nullopt;
    case WAIT_FAILED:
    default:
      LogWarning("WeftFrameCount::GetNewFrame - WAIT_FAILED");
      return std::nullopt;
  }
}

std::optional<int32_t> WeftFrameCount::PeekCount() {
  const QuerySemaphoreFunction query = QuerySemaphore();
  SemaphoreBasicInformation info{};
  if (query == nullptr ||
      query(countSemaphore_.get(), kSemaphoreBasicInformation, &info, sizeof info, nullptr) < 0) {
    return ReadCount();
  }
  // The same value ReadCount yields: the count less the one a read takes.
  return info.currentCount == 0 ? 0 : static_cast<int32_t>(info.currentCount - 1);
}

bool WeftFrameCount::IsNewCount(std::optional<int32_t> count) const {
  // While we hold the semaphore only the sender changes its count, and only upwards. A count
  // below the last one is another receiver's read caught between its take and its give-back:
  // no frame. An unreadable count, or none yet, cannot tell, and counts as new.
  if (!count || *count < 0 || (*count == 0 && lastFrameCount_ == 0)) return true;
  return *count > lastFrameCount_;
}

bool WeftFrameCount::GetNewFrame() {
  if (!frameCountEnabled_ || !countSemaphore_) return true;
  const std::optional<int32_t> count = ReadCount();
  // A dip does not become the last count, or the give-back would pass for a frame too.
  if (!IsNewCount(count)) return false;
  if (!count) {
    lastStep_ = 1;
    return true;
  }
  lastStep_ = lastFrameCount_ > 0 && *count > lastFrameCount_ ? *count - lastFrameCount_ : 1;
  if (*count >= 0) frameCount_ = *count;
  if (*count > 0) lastFrameCount_ = *count;
  return true;
}

bool WeftFrameCount::FrameSignalled() {
  if (!frameCountEnabled_ || !countSemaphore_) return true;
  return IsNewCount(PeekCount());
}

bool WeftFrameCount::IsKeyedMutexTexture(ID3D11Texture2D* texture) {
  D3D11_TEXTURE2D_DESC desc{};
  texture->GetDesc(&desc);
  return (desc.MiscFlags & D3D11_RESOURCE_MISC_SHARED_KEYEDMUTEX) != 0;
}

bool WeftFrameCount::CheckAccess(ID3D11Texture2D* texture) {
  if (texture == nullptr) return true;
  if (IsKeyedMutexTexture(texture)) {
    ComPtr<IDXGIKeyedMutex> keyed;
    if (FAILED(texture->QueryInterface(IID_PPV_ARGS(&keyed)))) return false;
    const HRESULT hr = keyed->AcquireSync(0, weft::kLockTimeoutMs);
    if (hr == S_OK) return true;  // the lock stays taken until AllowAccess
    switch (hr) {
      case E_FAIL:
        LogError("weftDirectX::CheckKeyedAccess : E_FAIL");
        break;
      case static_cast<HRESULT>(WAIT_ABANDONED):
        LogError("weftDirectX::CheckKeyedAccess : WAIT_ABANDONED");
        break;
      case static_cast<HRESULT>(WAIT_TIMEOUT):
        LogError("weftDirectX::CheckKeyedAccess : WAIT_TIMEOUT");
        break;
      default:
        LogError("weftDirectX::CheckKeyedAccess - default error : 0x%X\n",
                 static_cast<unsigned>(hr));
        break;
    }
    keyed->ReleaseSync(0);
    return false;
  }
  if (!accessMutex_) return true;
  switch (WaitForSingleObject(accessMutex_.get(), weft::kLockTimeoutMs)) {
    case WAIT_OBJECT_0:
      return true;
    case WAIT_ABANDONED:
      // The sender died holding the lock and the wait handed it to us: give it back so that a
      // restarted sender is not locked out, and skip this copy.
      LogError("weftFrameCount::CheckAccess - WAIT_ABANDONED");
      ReleaseMutex(accessMutex_.get());
      return false;
    case WAIT_TIMEOUT:
      return false;
    case WAIT_FAILED:
      LogError("weftFrameCount::CheckAccess - WAIT_FAILED");
      return false;
    default:
      LogError("weftFrameCount::CheckAccess - unknown error");
      return false;
  }
}

bool WeftFrameCount::AllowAccess(ID3D11Texture2D* texture) {
  if (texture != nullptr && IsKeyedMutexTexture(texture)) {
    ComPtr<IDXGIKeyedMutex> keyed;
    if (FAILED(texture->QueryInterface(IID_PPV_ARGS(&keyed)))) return false;
    keyed->ReleaseSync(0);
    return true;
  }
  if (accessMutex_) ReleaseMutex(accessMutex_.get());
  return true;
}

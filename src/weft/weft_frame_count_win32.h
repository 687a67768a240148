#pragma once

#include <d3d11.h>
#include <windows.h>

#include <cstdint>

#include "weft/weft_protocol.h"

// The receiver's two links to one sender: the access lock held around each copy of the shared
// texture (its keyed mutex, or the named mutex "<sender>_WeftAccessMutex"), and the frame
// counter, the named semaphore "<sender>_Count_Semaphore" whose count the sender raises per frame
// and which the receiver reads without consuming.
class WeftFrameCount {
 public:
  WeftFrameCount();
  ~WeftFrameCount();
  WeftFrameCount(const WeftFrameCount&) = delete;
  WeftFrameCount& operator=(const WeftFrameCount&) = delete;

  bool CreateAccessMutex(const char* name);
  void CloseAccessMutex();
  void EnableFrameCount(const char* name);
  void CleanupFrameCount();
  bool GetNewFrame();
  bool CheckAccess(ID3D11Texture2D* texture);
  bool AllowAccess(ID3D11Texture2D* texture);

  bool FrameCountingEnabled() const { return frameCountEnabled_; }
  bool HasSemaphore() const { return countSemaphore_ != nullptr; }
  bool HasAccessMutex() const { return accessMutex_ != nullptr; }
  int32_t FrameCount() const { return frameCount_; }

 private:
  static bool IsKeyedMutexTexture(ID3D11Texture2D* texture);

  HANDLE accessMutex_ = nullptr;
  bool frameCountEnabled_ = false;
  HANDLE countSemaphore_ = nullptr;
  char semaphoreName_[weft::kSemaphoreNameBytes] = {};
  char senderName_[weft::kNameBufferBytes] = {};
  int32_t frameCount_ = 0;
  int32_t lastFrameCount_ = 0;
};

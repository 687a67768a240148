#pragma once

#include <d3d11.h>
#include <windows.h>

#include <cstdint>
#include <optional>

#include "base/unique_handle_win32.h"
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
  // Whether the sender signalled a frame that GetNewFrame has not reported yet: true also where
  // counting cannot tell (off, no semaphore, nothing counted yet), as GetNewFrame would be. It
  // queries the count without taking one, so a receiver can poll it often without making
  // other receivers' reads of the count come out one low.
  bool FrameSignalled();
  // The sender counts its frames: counting is on, the semaphore is held, and the last read
  // found a count. Only then does a false from GetNewFrame mean the frame is old.
  bool SenderCountsFrames() const {
    return frameCountEnabled_ && countSemaphore_ && frameCount_ > 0;
  }
  // The frames the last GetNewFrame that said "new" stands for: the count's step since the frame
  // reported before it, 1 for the first one counted.
  int32_t LastStep() const { return lastStep_; }
  bool CheckAccess(ID3D11Texture2D* texture);
  bool AllowAccess(ID3D11Texture2D* texture);

 private:
  static bool IsKeyedMutexTexture(ID3D11Texture2D* texture);
  // The sender's count, read without consuming it (none when it cannot be read): by taking one
  // and giving it back, as every receiver does.
  std::optional<int32_t> ReadCount();
  // The same count by a query that takes nothing; ReadCount where the query is missing.
  std::optional<int32_t> PeekCount();
  // Whether a count read now is a frame GetNewFrame has not reported yet.
  bool IsNewCount(std::optional<int32_t> count) const;

  base::UniqueHandle accessMutex_;
  bool frameCountEnabled_ = false;
  base::UniqueHandle countSemaphore_;
  char semaphoreName_[weft::kSemaphoreNameBytes] = {};
  char senderName_[weft::kNameBufferBytes] = {};
  int32_t frameCount_ = 0;
  int32_t lastFrameCount_ = 0;
  int32_t lastStep_ = 1;
};

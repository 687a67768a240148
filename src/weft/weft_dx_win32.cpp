#include "weft/weft_dx_win32.h"

#include <cstring>

#include "weft/weft_log.h"
#include "weft/weft_names.h"

using weft::LogNotice;
using weft::LogWarning;

namespace {

// How long a connected receiver goes without re-reading the sender's record while nothing says a
// new texture may have come (a counting sender's quiet polls; every take of a sender that does
// not count): a sender that leaves, or publishes a new texture without counting, is noticed
// within this, and the calls in between cost one query of the frame counter, or the copy alone,
// instead of a dozen calls to the system.
constexpr uint64_t kRecheckMs = 50;

}  // namespace

weftDX::weftDX() = default;

weftDX::~weftDX() {
  if (connected_) {
    ReleaseReceiver();
  } else {
    sharedTexture_.Reset();
    shareHandle_ = nullptr;
    width_ = 0;
    height_ = 0;
    senderName_[0] = '\0';
  }
  CloseDirectX11();
  // A texture opened with a zero size never becomes initialised, so ReleaseReceiver above
  // leaves it alone; let it go here.
  sharedTexture_.Reset();
}

bool weftDX::OpenDirectX11(ID3D11Device* device) {
  if (device_ != nullptr) return true;
  LogNotice("weftDX::OpenDirectX11");
  if (device == nullptr) return false;
  device_ = device;
  device_->GetImmediateContext(context_.ReleaseAndGetAddressOf());
  return true;
}

void weftDX::CloseDirectX11() {
  LogNotice("weftDX::CloseDirectX11()");
  receivedTexture_.Reset();
  shareHandle_ = nullptr;
  if (context_) context_->Flush();
  context_.Reset();
  device_ = nullptr;
}

bool weftDX::SetReceiverName(const char* name) {
  openFailure_ = 0;  // said of the sender before
  if (name == nullptr || name[0] == '\0') {
    setupName_[0] = '\0';
    senderName_[0] = '\0';
    return true;
  }
  const long length = weft::BoundedNameLength(name);
  if (length < 0) return false;
  std::memcpy(setupName_, name, static_cast<size_t>(length) + 1);
  std::memcpy(senderName_, name, static_cast<size_t>(length) + 1);
  return true;
}

bool weftDX::CheckSenderTexture() {
  updated_ = false;

  char name[weft::kNameBufferBytes];
  std::memcpy(name, senderName_, sizeof name);
  if (name[0] == '\0' && !senderNames_.ReadActiveSender(name, static_cast<int32_t>(sizeof name))) {
    return false;
  }

  weft::SenderInfoRecord record;
  if (!senderNames_.ReadSenderInfo(name, record)) return false;

  if (record.shareHandle == 0) {
    ReleaseReceiver();
    return false;
  }
  const auto handle = reinterpret_cast<HANDLE>(weft::ShareHandleValue(record.shareHandle));
  if (handle == shareHandle_) return true;

  ReleaseReceiver();
  shareHandle_ = handle;
  const bool opened =
      directX_.OpenDX11shareHandle(device_, sharedTexture_.ReleaseAndGetAddressOf(), shareHandle_);
  openFailure_ = opened ? 0 : directX_.LastOpenError();
  if (!opened) {
    // The handle stays recorded, so this value is not retried until the sender publishes
    // another one.
    LogWarning(
        "WeftReceiver::ReceiveSenderData - could not retrieve sender texture from share handle");
    return true;
  }

  D3D11_TEXTURE2D_DESC desc{};
  sharedTexture_->GetDesc(&desc);
  if (desc.Width == 0 || desc.Height == 0) return false;
  const int format = static_cast<int>(desc.Format);

  LogNotice("CreateReceiver(%s) %d x %d : format %d", name, static_cast<int>(record.width),
            static_cast<int>(record.height), format);
  frameCount_.CreateAccessMutex(name);
  frameCount_.EnableFrameCount(name);

  std::memcpy(senderName_, name, sizeof senderName_);
  width_ = record.width;
  height_ = record.height;
  format_ = format;
  initialised_ = true;
  updated_ = true;
  firstCopyPending_ = true;
  return true;
}

void weftDX::CopyShared() {
  context_->CopyResource(receivedTexture_.Get(), sharedTexture_.Get());
  context_->Flush();
  const bool counted = frameCount_.SenderCountsFrames() && !firstCopyPending_;
  lastFrame_ = firstCopyPending_ || counted ? Frame::kNew : Frame::kUncounted;
  lastFrameStep_ = counted ? frameCount_.LastStep() : 1;
  firstCopyPending_ = false;
}

bool weftDX::CheckedRecently() const {
  return connected_ && sharedTexture_ && receivedTexture_ && !firstCopyPending_ &&
         GetTickCount64() - lastCheckMs_ < kRecheckMs;
}

bool weftDX::ReceiveTexture() {
  lastFrame_ = Frame::kNone;
  lastFrameStep_ = 0;
  // A quiet poll costs one look at the count. A count that moved may announce the first frame
  // of a new texture (a new size or format): copying the old one and calling it new would show
  // a stale picture for up to the recheck time, so the record is read again first.
  if (CheckedRecently()) {
    if (!frameCount_.SenderCountsFrames()) {
      CopyNewFrame();  // uncounted: every call copies what the texture holds
      return true;
    }
    if (!frameCount_.FrameSignalled()) return true;
  }
  lastCheckMs_ = GetTickCount64();
  if (!CheckSenderTexture()) {
    ReleaseReceiver();
    connected_ = false;
    return false;
  }
  // A handle that could not be opened on our device is no connection: nothing arrives from it.
  if (!sharedTexture_) {
    connected_ = false;
    return false;
  }

  if (updated_) {
    updated_ = false;
    if (!CheckTexture(width_, height_, format_)) return false;
  }

  // Without a receiving texture (its creation failed) there is nothing to copy into: try to
  // create it again, and skip the copy while it is still missing.
  if (!receivedTexture_) CheckTexture(width_, height_, format_);
  if (receivedTexture_) CopyNewFrame();
  connected_ = true;
  return true;
}

void weftDX::CopyNewFrame() {
  if (!frameCount_.CheckAccess(sharedTexture_.Get())) return;
  if (frameCount_.GetNewFrame() || firstCopyPending_) CopyShared();
  frameCount_.AllowAccess(sharedTexture_.Get());
}

bool weftDX::CheckTexture(uint32_t width, uint32_t height, int format) {
  if (device_ == nullptr) return false;
  if (receivedTexture_) {
    D3D11_TEXTURE2D_DESC desc{};
    receivedTexture_->GetDesc(&desc);
    if (desc.Width == width && desc.Height == height && static_cast<int>(desc.Format) == format) {
      return true;
    }
  }
  // It lets go of the texture it replaces itself.
  return directX_.CreateDX11Texture(device_, width, height, format,
                                    receivedTexture_.GetAddressOf());
}

ID3D11Texture2D* weftDX::GetReceivedTexture() {
  if (!connected_) return nullptr;
  if (!receivedTexture_) {
    if (!CheckTexture(width_, height_, format_) || !receivedTexture_) return nullptr;
    firstCopyPending_ = true;
    if (sharedTexture_ && frameCount_.CheckAccess(sharedTexture_.Get())) CopyShared();
    frameCount_.AllowAccess(sharedTexture_.Get());
  }
  return receivedTexture_.Get();
}

void weftDX::ReleaseReceiver() {
  if (!initialised_) return;
  LogNotice("ReleaseReceiver(%s)", senderName_);
  std::memcpy(senderName_, setupName_, sizeof senderName_);
  Sleep(weft::kLockTimeoutMs);
  sharedTexture_.Reset();
  receivedTexture_.Reset();
  shareHandle_ = nullptr;
  if (context_) context_->Flush();
  frameCount_.CloseAccessMutex();
  frameCount_.CleanupFrameCount();
  width_ = 0;
  height_ = 0;
  initialised_ = false;
  updated_ = false;
  firstCopyPending_ = false;
}

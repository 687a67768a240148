#pragma once

#include <d3d11.h>
#include <windows.h>
#include <wrl/client.h>

#include <cstdint>
#include <functional>

#include "weft/weft_directx_win32.h"
#include "weft/weft_frame_count_win32.h"
#include "weft/weft_protocol.h"
#include "weft/weft_sender_names_win32.h"

// The receiving side of the protocol on the application's device: finds a sender (by name, or
// the active one), opens its shared texture, and copies each new frame into a receiving texture
// of its own under the sender's access lock. One thread at a time.
class weftDX {  // NOLINT(readability-identifier-naming): the protocol's name
 public:
  // What the last ReceiveTexture (and GetReceivedTexture after it) did with the sender's frame.
  enum class Frame {
    kNone,       // nothing copied: no new frame, or the access lock was busy
    kNew,        // a frame the sender counted and we had not copied yet, or the first frame
                 // of a new receiving side (a new sender, size or format)
    kUncounted,  // copied, but the sender does not count its frames (or counting is off),
                 // so this may be the frame copied last time
  };

  weftDX();
  ~weftDX();
  weftDX(const weftDX&) = delete;
  weftDX& operator=(const weftDX&) = delete;

  bool OpenDirectX11(ID3D11Device* device);
  void CloseDirectX11();
  // Null or empty follows the active sender. A name of 256 bytes or more is refused (false)
  // and changes nothing.
  bool SetReceiverName(const char* name);

  bool ReceiveTexture();
  ID3D11Texture2D* GetReceivedTexture();
  void ReleaseReceiver();

  Frame LastFrame() const { return lastFrame_; }
  // How many sender frames the last copy stands for: the step of the sender's count since the
  // frame copied before (two signals between two looks are two frames), 1 for the first frame
  // of a new receiving side and for an uncounted one, 0 when nothing was copied.
  uint32_t LastFrameStep() const { return lastFrameStep_; }
  bool IsConnected() const { return connected_; }
  // The sender's texture did not open on this device: the HRESULT (0: it opened, or none tried).
  uint32_t OpenFailure() const { return openFailure_; }
  // Whether the sender's frames are counted: only then does "no new frame" mean the receiving
  // texture holds the sender's newest frame.
  bool CountsFrames() const { return frameCount_.SenderCountsFrames(); }
  uint32_t GetSenderWidth() const { return width_; }
  uint32_t GetSenderHeight() const { return height_; }
  int GetSenderFormat() const { return format_; }
  const char* GetSenderName() const { return senderName_; }

  // `give_up`: see weftSenderNames::CountSenders.
  int32_t GetSenderCount(const std::function<bool()>& give_up = nullptr) {
    return senderNames_.CountSenders(give_up);
  }
  bool GetSender(int32_t index, char* name, int32_t size) {
    return senderNames_.SenderNameAt(index, name, size);
  }
  bool GetActiveSender(char* name) {
    return senderNames_.ReadActiveSender(name, static_cast<int32_t>(weft::kNameBufferBytes));
  }

 private:
  bool CheckSenderTexture();
  bool CheckTexture(uint32_t width, uint32_t height, int format);
  void CopyShared();
  // True when a call may skip re-reading the sender's record: connected, with a first frame
  // copied, and checked within the last few tens of milliseconds. For a sender that counts its
  // frames such a call only looks at the count (one query that takes nothing); when it moved,
  // the record is read again before the copy, since the frame may be the first of a new
  // texture. One that does not count has nothing to say a frame is new: each call copies, and
  // its record is read again at the same interval.
  bool CheckedRecently() const;
  // Under the access lock: copies the shared texture when the frame count says it holds a new
  // frame, or when the receiving texture still has to take its first frame.
  void CopyNewFrame();

  weftSenderNames senderNames_;
  WeftFrameCount frameCount_;
  weftDirectX directX_;
  ID3D11Device* device_ = nullptr;  // the application's; no reference held
  Microsoft::WRL::ComPtr<ID3D11DeviceContext> context_;
  Microsoft::WRL::ComPtr<ID3D11Texture2D> sharedTexture_;
  Microsoft::WRL::ComPtr<ID3D11Texture2D> receivedTexture_;
  HANDLE shareHandle_ = nullptr;
  int format_ = DXGI_FORMAT_B8G8R8A8_UNORM;
  char setupName_[weft::kNameBufferBytes] = {};
  char senderName_[weft::kNameBufferBytes] = {};
  uint32_t width_ = 0;
  uint32_t height_ = 0;
  bool updated_ = false;
  bool connected_ = false;
  uint32_t openFailure_ = 0;
  bool initialised_ = false;
  // Set with a new receiving side; the first copy into it is a new frame whatever the count.
  bool firstCopyPending_ = false;
  Frame lastFrame_ = Frame::kNone;
  uint32_t lastFrameStep_ = 0;
  uint64_t lastCheckMs_ = 0;
};

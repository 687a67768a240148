// The receiver side of shared-texture emulation, linked in place of the real share-handle open
// (weft_open_shared_win32.cpp) by the development build tessaline_emulated.exe and by tests.
//
// Opening makes a texture on the receiver's device from the mapping's current pixels. The
// texture is then kept up to date: a refresher thread watches the sequence word of every
// mapping it holds and, when the sender has written a new frame, uploads it into the texture on
// the device's immediate context. The sender waits for that upload before it signals its frame
// counter, and the receiver's copy goes through the same immediate context, so a receiver that
// sees a new frame count copies the new pixels: the receive path runs exactly as it does on a
// real shared texture.
#include <d3d11.h>
#include <windows.h>
#include <wrl/client.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "base/thread_name_win32.h"
#include "emulation/emulated_texture_layout.h"
#include "weft/mapped_view_win32.h"
#include "weft/weft_directx_win32.h"

namespace tsl::emulation {
namespace {

using Microsoft::WRL::ComPtr;

struct HeldTexture {
  ComPtr<ID3D11Texture2D> texture;
  ComPtr<ID3D11DeviceContext> context;
  weft::MappedView mapping;
  TextureDescription description;
  LONG sequence = 0;
};

volatile LONG* Word(uint8_t* view, size_t offset) {
  return reinterpret_cast<volatile LONG*>(view + offset);
}

LONG ReadWord(uint8_t* view, size_t offset) {
  return InterlockedCompareExchange(Word(view, offset), 0, 0);
}

// True when nobody but the refresher holds the texture any more.
bool OnlyWeHold(ID3D11Texture2D* texture) {
  texture->AddRef();
  return texture->Release() == 1;
}

class Refresher;
Refresher& TheRefresher();

class Refresher {
 public:
  void Hold(HeldTexture held) {
    std::lock_guard<std::mutex> guard(mutex_);
    InterlockedIncrement(Word(held.mapping.data(), kOpenersOffset));
    textures_.push_back(std::move(held));
    if (!threadStarted_) {
      threadStarted_ = true;
      std::thread([this] { Run(); }).detach();
      std::atexit([] { TheRefresher().StopForExit(); });
    }
    wake_.notify_one();
  }

  // At process exit: lets the thread finish what it is doing and stop, so that the exit never
  // interrupts it in the middle of Direct3D work (dropping the last texture of a device destroys
  // that device; Wine then kills a process whose exit cuts into it). Waits at most a second.
  void StopForExit() {
    std::unique_lock<std::mutex> lock(mutex_);
    stopping_ = true;
    wake_.notify_all();
    stopped_.wait_for(lock, std::chrono::seconds(1), [this] { return threadDone_; });
  }

 private:
  void Run() {
    // Started from the receive thread, whose Linux name it would inherit under Wine: named so
    // that its CPU is not counted as the receive thread's.
    base::NameCurrentThread(L"tsl refresher");
    for (;;) {
      // Nothing may leave a thread: a look that throws (out of memory) is skipped, and the
      // next one a millisecond later tries again.
      try {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, [this] { return !textures_.empty() || stopping_; });
        if (stopping_) {
          threadDone_ = true;
          stopped_.notify_all();
          return;
        }
        for (size_t i = 0; i < textures_.size();) {
          HeldTexture& held = textures_[i];
          if (OnlyWeHold(held.texture.Get())) {
            Drop(held);
            textures_.erase(textures_.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
          }
          Refresh(held);
          ++i;
        }
      } catch (...) {
      }
      // One millisecond between looks: a frame becomes visible within about that of its write.
      Sleep(1);
    }
  }

  static void Refresh(HeldTexture& held) {
    uint8_t* view = held.mapping.data();
    const LONG sequence = ReadWord(view, kSequenceOffset);
    if (sequence == held.sequence) return;
    held.sequence = sequence;
    // The sender may have republished a different size under the same value; the texture keeps
    // the size it was made with, so such a frame is not uploaded.
    TextureDescription now;
    if (ReadDescription(view, held.mapping.size(), now) && now.width == held.description.width &&
        now.height == held.description.height && now.format == held.description.format) {
      held.context->UpdateSubresource(held.texture.Get(), 0, nullptr, view + kHeaderBytes,
                                      now.row_pitch, 0);
      held.context->Flush();
    }
    InterlockedIncrement(Word(view, kRefreshedOffset));
  }

  static void Drop(HeldTexture& held) {
    InterlockedDecrement(Word(held.mapping.data(), kOpenersOffset));
    held.texture.Reset();
    held.context.Reset();
    held.mapping.Close();
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable stopped_;
  std::vector<HeldTexture> textures_;
  bool threadStarted_ = false;
  bool stopping_ = false;
  bool threadDone_ = false;
};

// Never destroyed: its thread runs until the process ends, and a static destructor would pull
// the state from under it during exit.
Refresher& TheRefresher() {
  static Refresher* refresher = new Refresher;
  return *refresher;
}

}  // namespace
}  // namespace tsl::emulation

namespace weft {

// Stands in for ID3D11Device::OpenSharedResource where textures cannot be shared.
HRESULT OpenSharedTexture(ID3D11Device* device, HANDLE share_handle, ID3D11Texture2D** texture) {
  using namespace tsl::emulation;
  const auto value = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(share_handle));
  HeldTexture held;
  if (!held.mapping.Open(MappingName(value).c_str())) return E_INVALIDARG;
  uint8_t* view = held.mapping.data();
  HRESULT hr = E_INVALIDARG;
  if (ReadDescription(view, held.mapping.size(), held.description)) {
    held.sequence = ReadWord(view, kSequenceOffset);
    D3D11_TEXTURE2D_DESC desc{};
    desc.Width = held.description.width;
    desc.Height = held.description.height;
    desc.MipLevels = 1;
    desc.ArraySize = 1;
    desc.Format = static_cast<DXGI_FORMAT>(held.description.format);
    desc.SampleDesc.Count = 1;
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = D3D11_BIND_SHADER_RESOURCE | D3D11_BIND_RENDER_TARGET;
    const D3D11_SUBRESOURCE_DATA data{view + kHeaderBytes, held.description.row_pitch, 0};
    hr = device->CreateTexture2D(&desc, &data, &held.texture);
  }
  if (FAILED(hr)) return hr;  // the mapping closes with `held`
  device->GetImmediateContext(&held.context);
  *texture = held.texture.Get();
  (*texture)->AddRef();
  TheRefresher().Hold(std::move(held));
  return S_OK;
}

}  // namespace weft

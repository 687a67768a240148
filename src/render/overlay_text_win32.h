#pragma once

#include <d2d1.h>
#include <d3d11.h>
#include <dwrite.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <array>
#include <mutex>
#include <string>
#include <vector>

#include "render/overlay_graph.h"

namespace tsl {

// The overlay's text panel: the title's figures drawn through the platform's own text stack
// (Direct2D and DirectWrite) by the main thread when the figures change (four times a second),
// never inside a tick, and into memory (a WIC bitmap), never on the device: text is dear to
// draw (under Wine, on a loaded machine, a quarter second), and drawn on the device it would
// hold the device the ticks present on. Only the finished pixels go to the device, a small
// upload into one of two textures in turn: the tick draws the one last finished. Where the text
// stack cannot be had it says so on standard error once and there is no text: the graph is then
// drawn without it.
class OverlayText {
 public:
  // Main thread: draws `lines` at `scale` (the size at 96 dpi) on `device`.
  void Update(ID3D11Device* device, const std::vector<std::wstring>& lines, float scale);
  // Any thread: the panel last finished (premultiplied alpha) and its number of lines; null
  // while there is none.
  Microsoft::WRL::ComPtr<ID3D11ShaderResourceView> Front(size_t& lines);
  // Main thread, with no tick running: lets go of everything made on the device.
  void Release();

 private:
  struct Page {
    Microsoft::WRL::ComPtr<ID3D11Texture2D> texture;
    Microsoft::WRL::ComPtr<ID3D11ShaderResourceView> view;
    uint32_t width = 0;
    uint32_t height = 0;
  };
  bool Ready(float scale);
  // The bitmap the text is drawn into, and its target, for this size.
  bool MakeCanvas(uint32_t width, uint32_t height);
  bool MakePage(ID3D11Device* device, Page& page, uint32_t width, uint32_t height);
  void Unavailable(const char* what, HRESULT result);

  Microsoft::WRL::ComPtr<ID2D1Factory> d2d_;
  Microsoft::WRL::ComPtr<IDWriteFactory> dwrite_;
  Microsoft::WRL::ComPtr<IDWriteTextFormat> format_;
  Microsoft::WRL::ComPtr<IWICImagingFactory> wic_;
  Microsoft::WRL::ComPtr<IWICBitmap> canvas_;
  Microsoft::WRL::ComPtr<ID2D1RenderTarget> target_;
  Microsoft::WRL::ComPtr<ID2D1SolidColorBrush> brush_;
  uint32_t canvasWidth_ = 0;
  uint32_t canvasHeight_ = 0;
  float formatScale_ = 0.0f;
  std::array<Page, 2> pages_;
  size_t next_ = 0;                  // the page drawn next
  std::vector<std::wstring> drawn_;  // the lines the front page holds, at this scale
  float drawnScale_ = 0.0f;
  bool unavailable_ = false;
  std::mutex frontMutex_;
  Microsoft::WRL::ComPtr<ID3D11ShaderResourceView> front_;  // under frontMutex_
  size_t frontLines_ = 0;                                   // under frontMutex_
};

}  // namespace tsl

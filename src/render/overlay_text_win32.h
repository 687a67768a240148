#pragma once

#include <d3d11.h>
#include <windows.h>
#include <wrl/client.h>

#include <array>
#include <mutex>
#include <string>
#include <vector>

#include "render/overlay_graph.h"

namespace tsl {

// The overlay's text panel: the title's figures drawn by the main thread when they change (four
// times a second), never inside a tick, with GDI into memory (a DIB section), never on the
// device. Text through a GPU text stack is dear where the GPU is emulated (Direct2D under Wine
// took 110 ms a panel, and held the device the ticks present on); GDI draws into memory with the
// processor alone (a median 3 ms a panel under Wine on a loaded machine, upload included). Only the
// finished pixels go to the device, a small upload into one of two textures in turn: the tick draws
// the one last finished. Where a font or a bitmap cannot be had it says so on standard error once
// and there is no text: the graph is then drawn without it.
class OverlayText {
 public:
  // Main thread: draws `lines` at `scale` (the size at 96 dpi) on `device`.
  void Update(ID3D11Device* device, const std::vector<std::wstring>& lines, float scale);
  // Any thread: the panel last finished (premultiplied alpha) and its number of lines; null
  // while there is none.
  Microsoft::WRL::ComPtr<ID3D11ShaderResourceView> Front(size_t& lines);
  // Main thread, with no tick running: lets go of everything made on the device.
  void Release();

  OverlayText() = default;
  OverlayText(const OverlayText&) = delete;
  OverlayText& operator=(const OverlayText&) = delete;
  ~OverlayText();

 private:
  struct Page {
    Microsoft::WRL::ComPtr<ID3D11Texture2D> texture;
    Microsoft::WRL::ComPtr<ID3D11ShaderResourceView> view;
    uint32_t width = 0;
    uint32_t height = 0;
  };
  // The font for this scale, and the bitmap the text is drawn into for this size.
  bool MakeCanvas(uint32_t width, uint32_t height, float scale);
  void FreeCanvas();
  bool MakePage(ID3D11Device* device, Page& page, uint32_t width, uint32_t height);
  void Unavailable(const char* what);

  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ firstBitmap_ = nullptr;  // the memory DC's own, put back before the bitmap goes
  HFONT font_ = nullptr;
  HGDIOBJ firstFont_ = nullptr;
  const uint32_t* drawnPixels_ = nullptr;  // the bitmap's, white text on black
  std::vector<uint32_t> panelPixels_;      // what is uploaded
  uint32_t canvasWidth_ = 0;
  uint32_t canvasHeight_ = 0;
  float fontScale_ = 0.0f;
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

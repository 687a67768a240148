#include "render/overlay_text_win32.h"

#include <cstdio>
#include <cwchar>
#include <initializer_list>
#include <string>
#include <utility>

#include "gpu/gpu_device_win32.h"

namespace tsl {

void OverlayText::Unavailable(const char* what) {
  if (!unavailable_) {
    std::fprintf(stderr,
                 "warning: the overlay's text cannot be drawn here (%s); the graph is drawn "
                 "without it\n",
                 what);
    std::fflush(stderr);
  }
  unavailable_ = true;
}

namespace {

int CALLBACK NoteFamily(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;  // one is enough
}

// A fixed-width face the system holds (Wine holds the host's fonts only), else the mapper's
// choice for a fixed-width modern face.
std::wstring FixedWidthFamily(HDC dc) {
  for (const wchar_t* candidate :
       {L"Consolas", L"Lucida Console", L"Courier New", L"Liberation Mono", L"DejaVu Sans Mono"}) {
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    wcsncpy(wanted.lfFaceName, candidate, LF_FACESIZE - 1);
    bool found = false;
    EnumFontFamiliesExW(dc, &wanted, NoteFamily, reinterpret_cast<LPARAM>(&found), 0);
    if (found) return candidate;
  }
  return L"";
}

}  // namespace

OverlayText::~OverlayText() { FreeCanvas(); }

void OverlayText::FreeCanvas() {
  if (dc_ != nullptr) {
    if (firstFont_ != nullptr) SelectObject(dc_, firstFont_);
    if (firstBitmap_ != nullptr) SelectObject(dc_, firstBitmap_);
    DeleteDC(dc_);
  }
  if (font_ != nullptr) DeleteObject(font_);
  if (bitmap_ != nullptr) DeleteObject(bitmap_);
  dc_ = nullptr;
  bitmap_ = nullptr;
  font_ = nullptr;
  firstBitmap_ = nullptr;
  firstFont_ = nullptr;
  drawnPixels_ = nullptr;
  canvasWidth_ = 0;
  canvasHeight_ = 0;
  fontScale_ = 0.0f;
}

bool OverlayText::MakeCanvas(uint32_t width, uint32_t height, float scale) {
  if (dc_ != nullptr && canvasWidth_ == width && canvasHeight_ == height && fontScale_ == scale) {
    return true;
  }
  FreeCanvas();
  dc_ = CreateCompatibleDC(nullptr);
  if (dc_ == nullptr) {
    Unavailable("no memory device context");
    return false;
  }
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = static_cast<LONG>(width);
  info.bmiHeader.biHeight = -static_cast<LONG>(height);  // top row first, as a texture's
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap_ == nullptr || bits == nullptr) {
    FreeCanvas();
    Unavailable("no bitmap");
    return false;
  }
  firstBitmap_ = SelectObject(dc_, bitmap_);
  drawnPixels_ = static_cast<const uint32_t*>(bits);
  // Grey-scale edges: sub-pixel (ClearType) text needs the layout of the screen's pixels, which
  // a panel drawn over a scaled buffer does not keep.
  const std::wstring family = FixedWidthFamily(dc_);
  font_ = CreateFontW(-static_cast<int>(11.0f * scale + 0.5f), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                      FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                      ANTIALIASED_QUALITY, FIXED_PITCH | FF_MODERN, family.c_str());
  if (font_ == nullptr) {
    FreeCanvas();
    Unavailable("no font");
    return false;
  }
  firstFont_ = SelectObject(dc_, font_);
  SetTextColor(dc_, RGB(255, 255, 255));
  SetBkMode(dc_, TRANSPARENT);
  canvasWidth_ = width;
  canvasHeight_ = height;
  fontScale_ = scale;
  panelPixels_.resize(static_cast<size_t>(width) * height);
  return true;
}

bool OverlayText::MakePage(ID3D11Device* device, Page& page, uint32_t width, uint32_t height) {
  page = Page{};
  const D3D11_TEXTURE2D_DESC desc = SampledTextureDesc(width, height, DXGI_FORMAT_B8G8R8A8_UNORM);
  if (FAILED(device->CreateTexture2D(&desc, nullptr, page.texture.GetAddressOf())) ||
      FAILED(device->CreateShaderResourceView(page.texture.Get(), nullptr,
                                              page.view.GetAddressOf()))) {
    page = Page{};
    return false;  // the device's trouble, not the text stack's: tried again next time
  }
  page.width = width;
  page.height = height;
  return true;
}

void OverlayText::Update(ID3D11Device* device, const std::vector<std::wstring>& lines,
                         float scale) {
  if (lines.empty() || device == nullptr || unavailable_) return;
  if (lines == drawn_ && drawnScale_ == scale) return;
  const auto width = static_cast<uint32_t>(OverlayGraph::kWidth * scale);
  const auto height = static_cast<uint32_t>(
      OverlayGraph::kLineHeight * scale * static_cast<float>(lines.size()) + 4.0f * scale);
  if (width == 0 || height == 0 || !MakeCanvas(width, height, scale)) return;
  const RECT all{0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
  FillRect(dc_, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  const float line = OverlayGraph::kLineHeight * scale;
  const auto inset = static_cast<int>(4.0f * scale);
  for (size_t i = 0; i < lines.size(); ++i) {
    const auto y = static_cast<int>(2.0f * scale + line * static_cast<float>(i));
    TextOutW(dc_, inset, y, lines[i].c_str(), static_cast<int>(lines[i].size()));
  }
  GdiFlush();  // the bitmap's memory is read next
  OverlayGraph::TextPanelPixels(drawnPixels_, panelPixels_.size(), panelPixels_.data());
  // Only the finished pixels go to the device.
  Page& page = pages_[next_];
  if (page.width != width || page.height != height || !page.texture) {
    if (!MakePage(device, page, width, height)) return;
  }
  Microsoft::WRL::ComPtr<ID3D11DeviceContext> context;
  device->GetImmediateContext(context.GetAddressOf());
  context->UpdateSubresource(page.texture.Get(), 0, nullptr, panelPixels_.data(), width * 4, 0);
  drawn_ = lines;
  drawnScale_ = scale;
  {
    std::lock_guard<std::mutex> guard(frontMutex_);
    front_ = page.view;
    frontLines_ = lines.size();
  }
  next_ = 1 - next_;
}

Microsoft::WRL::ComPtr<ID3D11ShaderResourceView> OverlayText::Front(size_t& lines) {
  std::lock_guard<std::mutex> guard(frontMutex_);
  lines = frontLines_;
  return front_;
}

void OverlayText::Release() {
  {
    std::lock_guard<std::mutex> guard(frontMutex_);
    front_.Reset();
  }
  for (Page& page : pages_) page = Page{};
  drawn_.clear();
}

}  // namespace tsl

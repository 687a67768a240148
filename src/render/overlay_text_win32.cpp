#include "render/overlay_text_win32.h"

#include <cstdio>
#include <initializer_list>
#include <string>
#include <utility>

namespace tsl {

void OverlayText::Unavailable(const char* what, HRESULT result) {
  if (!unavailable_) {
    std::fprintf(stderr,
                 "warning: the overlay's text cannot be drawn here (%s: 0x%08lX); the graph is "
                 "drawn without it\n",
                 what, static_cast<unsigned long>(result));
    std::fflush(stderr);
  }
  unavailable_ = true;
}

bool OverlayText::Ready(float scale) {
  if (unavailable_) return false;
  HRESULT hr = S_OK;
  if (!d2d_) {
    hr = D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, d2d_.ReleaseAndGetAddressOf());
    if (FAILED(hr)) {
      Unavailable("Direct2D", hr);
      return false;
    }
  }
  if (!dwrite_) {
    hr = DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                             reinterpret_cast<IUnknown**>(dwrite_.ReleaseAndGetAddressOf()));
    if (FAILED(hr)) {
      Unavailable("DirectWrite", hr);
      return false;
    }
  }
  if (!format_ || formatScale_ != scale) {
    // A fixed-width face where the system has one, else the collection's first: a family it
    // does not hold draws nothing at all (Wine's collection holds the host's fonts only).
    std::wstring family = L"Consolas";
    Microsoft::WRL::ComPtr<IDWriteFontCollection> fonts;
    if (SUCCEEDED(dwrite_->GetSystemFontCollection(fonts.GetAddressOf(), FALSE))) {
      bool found = false;
      for (const wchar_t* candidate : {L"Consolas", L"Lucida Console", L"Courier New",
                                       L"Liberation Mono", L"DejaVu Sans Mono"}) {
        UINT32 index = 0;
        BOOL exists = FALSE;
        if (SUCCEEDED(fonts->FindFamilyName(candidate, &index, &exists)) && exists) {
          family = candidate;
          found = true;
          break;
        }
      }
      Microsoft::WRL::ComPtr<IDWriteFontFamily> first;
      Microsoft::WRL::ComPtr<IDWriteLocalizedStrings> names;
      UINT32 length = 0;
      if (!found && fonts->GetFontFamilyCount() > 0 &&
          SUCCEEDED(fonts->GetFontFamily(0, first.GetAddressOf())) &&
          SUCCEEDED(first->GetFamilyNames(names.GetAddressOf())) &&
          SUCCEEDED(names->GetStringLength(0, &length))) {
        std::wstring name(length + 1, L'\0');
        if (SUCCEEDED(names->GetString(0, name.data(), length + 1))) {
          name.resize(length);
          family = name;
        }
      }
    }
    hr = dwrite_->CreateTextFormat(family.c_str(), nullptr, DWRITE_FONT_WEIGHT_NORMAL,
                                   DWRITE_FONT_STYLE_NORMAL, DWRITE_FONT_STRETCH_NORMAL,
                                   11.0f * scale, L"en-us", format_.ReleaseAndGetAddressOf());
    if (FAILED(hr)) {
      Unavailable("a text format", hr);
      return false;
    }
    format_->SetWordWrapping(DWRITE_WORD_WRAPPING_NO_WRAP);
    formatScale_ = scale;
  }
  return true;
}

bool OverlayText::MakeCanvas(uint32_t width, uint32_t height) {
  if (canvas_ && target_ && canvasWidth_ == width && canvasHeight_ == height) return true;
  brush_.Reset();
  target_.Reset();
  canvas_.Reset();
  HRESULT hr = S_OK;
  if (!wic_) {
    // WIC is a COM class: the main thread may not have COM yet (either apartment will do).
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                          IID_PPV_ARGS(wic_.ReleaseAndGetAddressOf()));
    if (FAILED(hr)) {
      Unavailable("the imaging factory", hr);
      return false;
    }
  }
  hr = wic_->CreateBitmap(width, height, GUID_WICPixelFormat32bppPBGRA, WICBitmapCacheOnLoad,
                          canvas_.GetAddressOf());
  if (FAILED(hr)) {
    Unavailable("a bitmap", hr);
    return false;
  }
  const D2D1_RENDER_TARGET_PROPERTIES properties = D2D1::RenderTargetProperties(
      D2D1_RENDER_TARGET_TYPE_SOFTWARE,
      D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED), 96.0f, 96.0f);
  hr = d2d_->CreateWicBitmapRenderTarget(canvas_.Get(), &properties, target_.GetAddressOf());
  if (FAILED(hr)) {
    Unavailable("a Direct2D target on a bitmap", hr);
    return false;
  }
  hr = target_->CreateSolidColorBrush(D2D1::ColorF(0.92f, 0.92f, 0.92f, 1.0f),
                                      brush_.GetAddressOf());
  if (FAILED(hr)) {
    Unavailable("a brush", hr);
    return false;
  }
  canvasWidth_ = width;
  canvasHeight_ = height;
  return true;
}

bool OverlayText::MakePage(ID3D11Device* device, Page& page, uint32_t width, uint32_t height) {
  page = Page{};
  D3D11_TEXTURE2D_DESC desc{};
  desc.Width = width;
  desc.Height = height;
  desc.MipLevels = 1;
  desc.ArraySize = 1;
  desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
  desc.SampleDesc.Count = 1;
  desc.Usage = D3D11_USAGE_DEFAULT;
  desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
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
  if (lines.empty() || device == nullptr || !Ready(scale)) return;
  if (lines == drawn_ && drawnScale_ == scale) return;
  const auto width = static_cast<uint32_t>(OverlayGraph::kWidth * scale);
  const auto height = static_cast<uint32_t>(
      OverlayGraph::kLineHeight * scale * static_cast<float>(lines.size()) + 4.0f * scale);
  if (width == 0 || height == 0 || !MakeCanvas(width, height)) return;
  target_->BeginDraw();
  // Grey-scale edges: sub-pixel (ClearType) text needs the layout of the screen's pixels, which
  // a panel drawn over a scaled buffer does not keep.
  target_->SetTextAntialiasMode(D2D1_TEXT_ANTIALIAS_MODE_GRAYSCALE);
  const float* panel = OverlayGraph::kPanelColour;
  target_->Clear(D2D1::ColorF(panel[0], panel[1], panel[2], panel[3]));
  const float line = OverlayGraph::kLineHeight * scale;
  const float inset = 4.0f * scale;
  for (size_t i = 0; i < lines.size(); ++i) {
    const float y = 2.0f * scale + line * static_cast<float>(i);
    target_->DrawText(lines[i].c_str(), static_cast<UINT32>(lines[i].size()), format_.Get(),
                      D2D1::RectF(inset, y, static_cast<float>(width), y + line), brush_.Get());
  }
  if (FAILED(target_->EndDraw())) {
    target_.Reset();  // made again at the next update
    return;
  }
  // Only the finished pixels go to the device.
  Page& page = pages_[next_];
  if (page.width != width || page.height != height || !page.texture) {
    if (!MakePage(device, page, width, height)) return;
  }
  const WICRect all{0, 0, static_cast<INT>(width), static_cast<INT>(height)};
  Microsoft::WRL::ComPtr<IWICBitmapLock> lock;
  UINT stride = 0;
  UINT size = 0;
  BYTE* pixels = nullptr;
  if (FAILED(canvas_->Lock(&all, WICBitmapLockRead, lock.GetAddressOf())) ||
      FAILED(lock->GetStride(&stride)) || FAILED(lock->GetDataPointer(&size, &pixels))) {
    return;
  }
  Microsoft::WRL::ComPtr<ID3D11DeviceContext> context;
  device->GetImmediateContext(context.GetAddressOf());
  context->UpdateSubresource(page.texture.Get(), 0, nullptr, pixels, stride, 0);
  lock.Reset();
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

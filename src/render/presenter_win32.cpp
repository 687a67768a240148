#include "render/presenter_win32.h"

#include <d3dcompiler.h>
#include <dxgi1_3.h>

#include <algorithm>
#include <cstring>

#include "render/letterbox.h"
#include "render/pixel_format.h"
#include "render/shader_texts.h"

namespace tsl {

using Microsoft::WRL::ComPtr;

namespace {
constexpr uint32_t kInitialWidth = 1280;
constexpr uint32_t kInitialHeight = 720;
}  // namespace

bool Presenter::CreateOverlayPipeline() {
  // The overlay is sized for the window's dots per inch.
  if (HDC dc = GetDC(window_)) {
    dpiScale_ = static_cast<float>(GetDeviceCaps(dc, LOGPIXELSX)) / 96.0f;
    ReleaseDC(window_, dc);
    if (!(dpiScale_ > 0.0f)) dpiScale_ = 1.0f;
  }
  return overlay_.Create(device_->device.Get());
}

bool Presenter::CreatePipeline() {
  ID3D11Device* d = device_->device.Get();
  ComPtr<ID3DBlob> vs_code;
  ComPtr<ID3DBlob> ps_code;
  if (FAILED(D3DCompile(kVertexShaderText, kVertexShaderLength, nullptr, nullptr, nullptr, "main",
                        "vs_5_0", 0, 0, &vs_code, nullptr)) ||
      FAILED(D3DCompile(kPixelShaderText, kPixelShaderLength, nullptr, nullptr, nullptr, "main",
                        "ps_5_0", 0, 0, &ps_code, nullptr))) {
    return false;
  }
  if (FAILED(d->CreateVertexShader(vs_code->GetBufferPointer(), vs_code->GetBufferSize(), nullptr,
                                   vertexShader_.ReleaseAndGetAddressOf())) ||
      FAILED(d->CreatePixelShader(ps_code->GetBufferPointer(), ps_code->GetBufferSize(), nullptr,
                                  pixelShader_.ReleaseAndGetAddressOf()))) {
    return false;
  }

  // Without it deep sources are drawn plain: banded, but drawn.
  ComPtr<ID3DBlob> dither_code;
  if (FAILED(D3DCompile(kDitherPixelShaderText, kDitherPixelShaderLength, nullptr, nullptr, nullptr,
                        "main", "ps_5_0", 0, 0, &dither_code, nullptr)) ||
      FAILED(d->CreatePixelShader(dither_code->GetBufferPointer(), dither_code->GetBufferSize(),
                                  nullptr, ditherShader_.ReleaseAndGetAddressOf()))) {
    ditherShader_.Reset();
  }

  D3D11_SAMPLER_DESC sampler{};
  sampler.Filter = D3D11_FILTER_MIN_MAG_MIP_LINEAR;
  sampler.AddressU = sampler.AddressV = sampler.AddressW = D3D11_TEXTURE_ADDRESS_CLAMP;
  sampler.MaxLOD = D3D11_FLOAT32_MAX;
  if (FAILED(d->CreateSamplerState(&sampler, sampler_.ReleaseAndGetAddressOf()))) return false;

  D3D11_RASTERIZER_DESC raster{};
  raster.FillMode = D3D11_FILL_SOLID;
  raster.CullMode = D3D11_CULL_NONE;
  raster.DepthClipEnable = TRUE;
  if (FAILED(d->CreateRasterizerState(&raster, rasterizer_.ReleaseAndGetAddressOf()))) {
    return false;
  }

  D3D11_BLEND_DESC blend{};
  blend.RenderTarget[0].RenderTargetWriteMask = D3D11_COLOR_WRITE_ENABLE_ALL;
  if (FAILED(d->CreateBlendState(&blend, blend_.ReleaseAndGetAddressOf()))) return false;

  D3D11_DEPTH_STENCIL_DESC depth{};  // every field zero: no depth test, no stencil
  if (FAILED(d->CreateDepthStencilState(&depth, depthStencil_.ReleaseAndGetAddressOf()))) {
    return false;
  }
  return CreateOverlayPipeline();
}

ID3D11ShaderResourceView* Presenter::FindOrMakeView(ID3D11Texture2D* texture,
                                                    uint32_t view_format) {
  for (const CachedView& cached : views_) {
    if (cached.view && cached.texture == texture && cached.format == view_format) {
      return cached.view.Get();
    }
  }
  CachedView& cached = views_[nextView_];
  cached = CachedView{};
  D3D11_SHADER_RESOURCE_VIEW_DESC desc{};
  desc.Format = static_cast<DXGI_FORMAT>(view_format);
  desc.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2D;
  desc.Texture2D.MostDetailedMip = 0;
  desc.Texture2D.MipLevels = 1;
  ++viewCreations_;
  if (FAILED(device_->device->CreateShaderResourceView(texture, &desc, &cached.view)) &&
      FAILED(device_->device->CreateShaderResourceView(texture, nullptr, &cached.view))) {
    cached.view.Reset();
    return nullptr;
  }
  cached.texture = texture;
  cached.format = view_format;
  nextView_ = (nextView_ + 1) % views_.size();
  return cached.view.Get();
}

Presenter::RenderResult Presenter::Render(ID3D11Texture2D* texture, uint32_t width, uint32_t height,
                                          uint32_t format) {
  if (texture == nullptr || width == 0 || height == 0 || !chain_.Ready())
    return RenderResult::kFailed;

  D3D11_VIEWPORT viewport{};
  viewport.MinDepth = 0.0f;
  viewport.MaxDepth = 1.0f;
  const bool boxed = letterbox.load();
  if (boxed) {
    RECT client{};
    if (window_ == nullptr || !GetClientRect(window_, &client)) return RenderResult::kFailed;
    const auto cw = static_cast<uint32_t>(client.right - client.left);
    const auto ch = static_cast<uint32_t>(client.bottom - client.top);
    if (cw == 0 || ch == 0) return RenderResult::kNothingToDraw;  // minimised
    if (!chain_.EnsureBackBuffer(cw, ch)) return RenderResult::kFailed;
    const Viewport fit = LetterboxViewport(width, height, cw, ch);
    viewport.TopLeftX = fit.left;
    viewport.TopLeftY = fit.top;
    viewport.Width = fit.width;
    viewport.Height = fit.height;
  } else {
    if (!chain_.EnsureBackBuffer(width, height)) return RenderResult::kFailed;
    viewport.Width = static_cast<float>(chain_.Width());
    viewport.Height = static_cast<float>(chain_.Height());
  }

  const uint32_t view_format = ViewFormatFor(format);
  ID3D11ShaderResourceView* view = FindOrMakeView(texture, view_format);
  if (view == nullptr) return RenderResult::kFailed;

  ID3D11DeviceContext* c = device_->context.Get();
  ID3D11RenderTargetView* target = chain_.RenderTarget();
  c->OMSetRenderTargets(1, &target, nullptr);
  if (boxed) {
    const float black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    c->ClearRenderTargetView(target, black);
  }
  c->OMSetBlendState(blend_.Get(), nullptr, 0xFFFFFFFF);
  c->OMSetDepthStencilState(depthStencil_.Get(), 0);
  c->RSSetState(rasterizer_.Get());
  c->RSSetViewports(1, &viewport);
  c->IASetInputLayout(nullptr);
  c->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
  c->VSSetShader(vertexShader_.Get(), nullptr, 0);
  dithering_ = IsDeepFormat(format) && ditherShader_;
  DrawTexture(view, dithering_ ? ditherShader_.Get() : pixelShader_.Get());
  return RenderResult::kDrawn;
}

bool Presenter::Initialize(GpuDevice* device, HWND window, uint32_t frame_latency) {
  device_ = device;
  window_ = window;
  if (!chain_.Create(device, window, frame_latency, kInitialWidth, kInitialHeight)) return false;
  return CreatePipeline();
}

void Presenter::DrawTexture(ID3D11ShaderResourceView* view, ID3D11PixelShader* shader) {
  ID3D11DeviceContext* c = device_->context.Get();
  c->PSSetShader(shader, nullptr, 0);
  c->PSSetShaderResources(0, 1, &view);
  ID3D11SamplerState* sampler = sampler_.Get();
  c->PSSetSamplers(0, 1, &sampler);
  c->Draw(3, 0);
  // Unbound again: a texture bound for reading cannot be drawn into (the overlay's text is).
  ID3D11ShaderResourceView* none = nullptr;
  c->PSSetShaderResources(0, 1, &none);
}

Presenter::DrawResult Presenter::Draw(ID3D11Texture2D* texture, uint32_t width, uint32_t height,
                                      uint32_t format, uint32_t sync_interval,
                                      const OverlayInput* overlay) {
  switch (Render(texture, width, height, format)) {
    case RenderResult::kFailed:
      return DrawResult::kFailed;
    case RenderResult::kNothingToDraw:
      return DrawResult::kNothingToDraw;
    case RenderResult::kDrawn:
      break;
  }
  if (overlay != nullptr) DrawOverlay(*overlay);
  return chain_.Present(sync_interval) ? DrawResult::kPresented : DrawResult::kFailed;
}

bool Presenter::PresentBlank(uint32_t sync_interval, const OverlayInput* overlay,
                             ID3D11ShaderResourceView* status, size_t status_lines) {
  if (!chain_.RenderTarget()) return false;
  const float black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
  device_->context->ClearRenderTargetView(chain_.RenderTarget(), black);
  if (status != nullptr && status_lines > 0) DrawCentredText(status, status_lines);
  if (overlay != nullptr) DrawOverlay(*overlay);
  return chain_.Present(sync_interval);
}

float Presenter::OverlayScale() const {
  // Sizes are for the window's pixels: a buffer the swap chain scales (stretch mode) is drawn
  // into at its own scale, so the overlay comes out the same size on the screen.
  RECT client{};
  GetClientRect(window_, &client);
  const LONG client_width = client.right - client.left;
  return dpiScale_ * (client_width > 0
                          ? static_cast<float>(chain_.Width()) / static_cast<float>(client_width)
                          : 1.0f);
}

void Presenter::DrawCentredText(ID3D11ShaderResourceView* text, size_t lines) {
  if (!overlay_.Ready()) return;
  const float scale = OverlayScale();
  const float bw = static_cast<float>(chain_.Width());
  const float bh = static_cast<float>(chain_.Height());
  const float width = std::min(OverlayGraph::kWidth * scale, bw);
  const float height =
      std::min(OverlayGraph::kLineHeight * scale * static_cast<float>(lines) + 4.0f * scale, bh);
  ID3D11DeviceContext* c = device_->context.Get();
  ID3D11RenderTargetView* target = chain_.RenderTarget();
  c->OMSetRenderTargets(1, &target, nullptr);
  c->OMSetBlendState(overlay_.TextBlend(), nullptr, 0xFFFFFFFF);
  c->OMSetDepthStencilState(depthStencil_.Get(), 0);
  c->RSSetState(rasterizer_.Get());
  const D3D11_VIEWPORT viewport{(bw - width) / 2, (bh - height) / 2, width, height, 0.0f, 1.0f};
  c->RSSetViewports(1, &viewport);
  c->IASetInputLayout(nullptr);
  c->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
  c->VSSetShader(vertexShader_.Get(), nullptr, 0);
  DrawTexture(text, pixelShader_.Get());
}

void Presenter::DrawOverlay(const OverlayInput& overlay) {
  if (overlay.samples == nullptr || !chain_.RenderTarget() || !overlay_.Ready()) return;
  const float scale = OverlayScale();
  ID3D11DeviceContext* c = device_->context.Get();
  ID3D11RenderTargetView* target = chain_.RenderTarget();
  c->OMSetRenderTargets(1, &target, nullptr);
  const std::vector<OverlayRect>& rects =
      overlay_.DrawGraph(c, overlay, scale, chain_.Width(), chain_.Height());
  // The text is drawn the way the frame is.
  c->VSSetShader(vertexShader_.Get(), nullptr, 0);
  // The figures under the graph, from the text's own texture (drawn when they change).
  if (overlay.text == nullptr || overlay.text_lines == 0 || rects.empty()) return;
  const OverlayRect panel =
      OverlayGraph::TextPanel(rects.front(), overlay.text_lines, scale, chain_.Height());
  if (panel.height <= 0.0f) return;
  const D3D11_VIEWPORT viewport{panel.left, panel.top, panel.width, panel.height, 0.0f, 1.0f};
  c->RSSetViewports(1, &viewport);
  c->OMSetBlendState(overlay_.TextBlend(), nullptr, 0xFFFFFFFF);
  DrawTexture(overlay.text, pixelShader_.Get());
}

void Presenter::Release() {
  for (CachedView& cached : views_) cached = CachedView{};
  overlay_.Release();
  depthStencil_.Reset();
  blend_.Reset();
  rasterizer_.Reset();
  sampler_.Reset();
  pixelShader_.Reset();
  ditherShader_.Reset();
  vertexShader_.Reset();
  if (device_ != nullptr && device_->device && device_->context) device_->context->ClearState();
  chain_.Release();
}

}  // namespace tsl

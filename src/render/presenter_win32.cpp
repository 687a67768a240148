#include "render/presenter_win32.h"

#include <dxgi1_3.h>

#include <algorithm>

#include "render/letterbox.h"
#include "render/pixel_format.h"

namespace tsl {

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
  return frame_.Create(device_->device.Get()) && CreateOverlayPipeline();
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

  ID3D11ShaderResourceView* view =
      frame_.ViewOf(device_->device.Get(), texture, ViewFormatFor(format));
  if (view == nullptr) return RenderResult::kFailed;

  ID3D11DeviceContext* c = device_->context.Get();
  ID3D11RenderTargetView* target = chain_.RenderTarget();
  c->OMSetRenderTargets(1, &target, nullptr);
  if (boxed) {
    const float black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    c->ClearRenderTargetView(target, black);
  }
  frame_.Begin(c, viewport);
  dithering_ = frame_.Draw(c, view, IsDeepFormat(format));
  return RenderResult::kDrawn;
}

bool Presenter::Initialize(GpuDevice* device, HWND window, uint32_t frame_latency) {
  device_ = device;
  window_ = window;
  if (!chain_.Create(device, window, frame_latency, kInitialWidth, kInitialHeight)) return false;
  return CreatePipeline();
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
  const D3D11_VIEWPORT viewport{(bw - width) / 2, (bh - height) / 2, width, height, 0.0f, 1.0f};
  frame_.Begin(c, viewport, overlay_.TextBlend());
  frame_.Draw(c, text, false);
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
  frame_.UseVertexShader(c);
  // The figures under the graph, from the text's own texture (drawn when they change).
  if (overlay.text == nullptr || overlay.text_lines == 0 || rects.empty()) return;
  const OverlayRect panel =
      OverlayGraph::TextPanel(rects.front(), overlay.text_lines, scale, chain_.Height());
  if (panel.height <= 0.0f) return;
  const D3D11_VIEWPORT viewport{panel.left, panel.top, panel.width, panel.height, 0.0f, 1.0f};
  c->RSSetViewports(1, &viewport);
  c->OMSetBlendState(overlay_.TextBlend(), nullptr, 0xFFFFFFFF);
  frame_.Draw(c, overlay.text, false);
}

void Presenter::Release() {
  frame_.Release();
  overlay_.Release();
  if (device_ != nullptr && device_->device && device_->context) device_->context->ClearState();
  chain_.Release();
}

}  // namespace tsl

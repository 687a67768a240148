// The overlay graph's own Direct3D pipeline.
#include "render/overlay_pipeline_win32.h"

#include <d3dcompiler.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "render/shader_texts.h"

namespace tsl {

using Microsoft::WRL::ComPtr;

// The panel, a bar and a mark for every interval, and the target line.
static_assert(kOverlayMostRects >= 2 * OverlayGraph::kBars + 2, "the overlay's rectangles");

bool OverlayPipeline::Create(ID3D11Device* d) {
  ComPtr<ID3DBlob> vs;
  ComPtr<ID3DBlob> ps;
  if (FAILED(D3DCompile(kRectVertexShaderText, kRectVertexShaderLength, nullptr, nullptr, nullptr,
                        "main", "vs_5_0", 0, 0, &vs, nullptr)) ||
      FAILED(D3DCompile(kRectPixelShaderText, kRectPixelShaderLength, nullptr, nullptr, nullptr,
                        "main", "ps_5_0", 0, 0, &ps, nullptr)) ||
      FAILED(d->CreateVertexShader(vs->GetBufferPointer(), vs->GetBufferSize(), nullptr,
                                   rectVertexShader_.ReleaseAndGetAddressOf())) ||
      FAILED(d->CreatePixelShader(ps->GetBufferPointer(), ps->GetBufferSize(), nullptr,
                                  rectPixelShader_.ReleaseAndGetAddressOf()))) {
    return false;
  }
  const D3D11_INPUT_ELEMENT_DESC layout[] = {
      {"POSITION", 0, DXGI_FORMAT_R32G32_FLOAT, 0, 0, D3D11_INPUT_PER_VERTEX_DATA, 0},
      {"COLOR", 0, DXGI_FORMAT_R32G32B32A32_FLOAT, 0, 8, D3D11_INPUT_PER_VERTEX_DATA, 0}};
  if (FAILED(d->CreateInputLayout(layout, 2, vs->GetBufferPointer(), vs->GetBufferSize(),
                                  rectLayout_.ReleaseAndGetAddressOf()))) {
    return false;
  }
  D3D11_BUFFER_DESC rects{};
  rects.ByteWidth = static_cast<UINT>(sizeof(RectVertex) * 6 * kOverlayMostRects);
  rects.Usage = D3D11_USAGE_DYNAMIC;
  rects.BindFlags = D3D11_BIND_VERTEX_BUFFER;
  rects.CPUAccessFlags = D3D11_CPU_ACCESS_WRITE;
  if (FAILED(d->CreateBuffer(&rects, nullptr, rects_.ReleaseAndGetAddressOf()))) return false;
  rectVertices_.reserve(6 * kOverlayMostRects);
  D3D11_BLEND_DESC over{};
  over.RenderTarget[0].BlendEnable = TRUE;
  over.RenderTarget[0].SrcBlend = D3D11_BLEND_SRC_ALPHA;
  over.RenderTarget[0].DestBlend = D3D11_BLEND_INV_SRC_ALPHA;
  over.RenderTarget[0].BlendOp = D3D11_BLEND_OP_ADD;
  over.RenderTarget[0].SrcBlendAlpha = D3D11_BLEND_ZERO;
  over.RenderTarget[0].DestBlendAlpha = D3D11_BLEND_ONE;
  over.RenderTarget[0].BlendOpAlpha = D3D11_BLEND_OP_ADD;
  over.RenderTarget[0].RenderTargetWriteMask = D3D11_COLOR_WRITE_ENABLE_ALL;
  if (FAILED(d->CreateBlendState(&over, overBlend_.ReleaseAndGetAddressOf()))) return false;
  over.RenderTarget[0].SrcBlend = D3D11_BLEND_ONE;  // the text's panel is premultiplied
  if (FAILED(d->CreateBlendState(&over, premultipliedBlend_.ReleaseAndGetAddressOf()))) {
    return false;
  }
  return true;
}

void OverlayPipeline::Release() {
  premultipliedBlend_.Reset();
  overBlend_.Reset();
  rects_.Reset();
  rectLayout_.Reset();
  rectPixelShader_.Reset();
  rectVertexShader_.Reset();
}

const std::vector<OverlayRect>& OverlayPipeline::DrawGraph(ID3D11DeviceContext* c,
                                                           const OverlayInput& overlay, float scale,
                                                           uint32_t width, uint32_t height) {
  OverlayGraph::LayOut(*overlay.samples, overlay.target_interval_ms, overlay.qpc_frequency, scale,
                       width, height, overlayRects_, overlay.presents);
  c->OMSetBlendState(overBlend_.Get(), nullptr, 0xFFFFFFFF);
  const size_t count = std::min<size_t>(overlayRects_.size(), kOverlayMostRects);
  const float w = static_cast<float>(width);
  const float h = static_cast<float>(height);
  rectVertices_.clear();
  for (size_t i = 0; i < count; ++i) {
    const OverlayRect& r = overlayRects_[i];
    // Clip space: x from -1 (left) to 1, y from 1 (top) to -1.
    const float x0 = r.left / w * 2.0f - 1.0f;
    const float x1 = (r.left + r.width) / w * 2.0f - 1.0f;
    const float y0 = 1.0f - r.top / h * 2.0f;
    const float y1 = 1.0f - (r.top + r.height) / h * 2.0f;
    for (const auto& [x, y] : {std::pair{x0, y0}, std::pair{x1, y0}, std::pair{x0, y1},
                               std::pair{x0, y1}, std::pair{x1, y0}, std::pair{x1, y1}}) {
      rectVertices_.push_back({{x, y}, {r.rgba[0], r.rgba[1], r.rgba[2], r.rgba[3]}});
    }
  }
  // Written whole each tick, with discard: the driver hands over fresh memory rather than wait
  // for the draw before to be done with it.
  D3D11_MAPPED_SUBRESOURCE mapped{};
  if (FAILED(c->Map(rects_.Get(), 0, D3D11_MAP_WRITE_DISCARD, 0, &mapped))) {
    overlayRects_.clear();
    return overlayRects_;
  }
  std::memcpy(mapped.pData, rectVertices_.data(), rectVertices_.size() * sizeof(RectVertex));
  c->Unmap(rects_.Get(), 0);
  const D3D11_VIEWPORT whole{0.0f, 0.0f, w, h, 0.0f, 1.0f};
  c->RSSetViewports(1, &whole);
  c->IASetInputLayout(rectLayout_.Get());
  c->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
  ID3D11Buffer* rects = rects_.Get();
  const UINT stride = sizeof(RectVertex);
  const UINT offset = 0;
  c->IASetVertexBuffers(0, 1, &rects, &stride, &offset);
  c->VSSetShader(rectVertexShader_.Get(), nullptr, 0);
  c->PSSetShader(rectPixelShader_.Get(), nullptr, 0);
  c->Draw(static_cast<UINT>(rectVertices_.size()), 0);
  ID3D11Buffer* none = nullptr;
  c->IASetVertexBuffers(0, 1, &none, &stride, &offset);
  c->IASetInputLayout(nullptr);
  return overlayRects_;
}

}  // namespace tsl

#pragma once

#include <d3d11.h>
#include <wrl/client.h>

#include <vector>

#include "measure/display_vocabulary.h"
#include "measure/pace_stats.h"
#include "render/overlay_graph.h"

namespace tsl {

// What the overlay graph is drawn from: the recent ticks and their presents (copies) and the
// interval aimed at.
struct OverlayInput {
  const std::vector<PaceSample>* samples = nullptr;
  double target_interval_ms = 0.0;
  uint64_t qpc_frequency = 0;
  ID3D11ShaderResourceView* text = nullptr;  // the figures' panel (OverlayText), under the graph
  size_t text_lines = 0;
  const std::vector<DisplayRecord>* presents = nullptr;  // for the marks of time on the screen
};

// The overlay's own pipeline: the graph's rectangles (their shaders, vertices and layout) and
// the two blends the overlay draws over the frame with. The figures' text is a textured quad,
// drawn by the frame's pipeline with TextBlend.
class OverlayPipeline {
 public:
  // False when a part cannot be made: the presenter then draws no overlay.
  bool Create(ID3D11Device* device);
  void Release();
  bool Ready() const { return static_cast<bool>(rectPixelShader_); }

  // Lays the graph of `overlay` out in a `width` x `height` buffer at `scale` and draws it over
  // the render target bound, leaving the vertex shader and input layout unset. The rectangles
  // laid out (the panel first), for the text placed under them; empty when nothing was drawn.
  const std::vector<OverlayRect>& DrawGraph(ID3D11DeviceContext* c, const OverlayInput& overlay,
                                            float scale, uint32_t width, uint32_t height);
  // The text's panel is premultiplied.
  ID3D11BlendState* TextBlend() const { return premultipliedBlend_.Get(); }

 private:
  struct RectVertex {
    float pos[2];
    float rgba[4];
  };
  Microsoft::WRL::ComPtr<ID3D11VertexShader> rectVertexShader_;
  Microsoft::WRL::ComPtr<ID3D11PixelShader> rectPixelShader_;
  Microsoft::WRL::ComPtr<ID3D11InputLayout> rectLayout_;
  Microsoft::WRL::ComPtr<ID3D11Buffer> rects_;  // the rectangles' vertices
  std::vector<RectVertex> rectVertices_;
  Microsoft::WRL::ComPtr<ID3D11BlendState> overBlend_;
  Microsoft::WRL::ComPtr<ID3D11BlendState> premultipliedBlend_;
  std::vector<OverlayRect> overlayRects_;
};

}  // namespace tsl

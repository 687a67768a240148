#pragma once

#include <d3d11.h>
#include <wrl/client.h>

#include <array>
#include <cstdint>

namespace tsl {

// The fixed pipeline that draws a texture over a viewport: one triangle covering it, sampled
// linearly, opaque (or with a blend state given), with a dithering pixel shader for sources of
// more than 8 bits where it can be made. Views of the textures it draws are kept, so that steady
// ticks (the receive thread's textures in turn) make none. The frame and the overlay's text are
// drawn with it.
class FramePipeline {
 public:
  bool Create(ID3D11Device* device);
  void Release();

  // The cached view of `texture` in `view_format`, made (in place of the oldest) when there is
  // none; null when it cannot be made.
  ID3D11ShaderResourceView* ViewOf(ID3D11Device* device, ID3D11Texture2D* texture,
                                   uint32_t view_format);
  // Sets the pipeline's states for drawing into `viewport` of the render target bound, with
  // `blend` (null: opaque).
  void Begin(ID3D11DeviceContext* context, const D3D11_VIEWPORT& viewport,
             ID3D11BlendState* blend = nullptr) const;
  // The vertex shader alone (after another pipeline, the overlay graph's, drew).
  void UseVertexShader(ID3D11DeviceContext* context) const;
  // Draws `view` with the states set; `dither` where the dithering shader exists. True when it
  // was dithered.
  bool Draw(ID3D11DeviceContext* context, ID3D11ShaderResourceView* view, bool dither) const;

  uint64_t ViewCreations() const { return viewCreations_; }

 private:
  Microsoft::WRL::ComPtr<ID3D11VertexShader> vertexShader_;
  Microsoft::WRL::ComPtr<ID3D11PixelShader> pixelShader_;
  // For sources of more than 8 bits; null where it cannot be made (they are then drawn plain).
  Microsoft::WRL::ComPtr<ID3D11PixelShader> ditherShader_;
  Microsoft::WRL::ComPtr<ID3D11SamplerState> sampler_;
  Microsoft::WRL::ComPtr<ID3D11RasterizerState> rasterizer_;
  Microsoft::WRL::ComPtr<ID3D11BlendState> blend_;
  Microsoft::WRL::ComPtr<ID3D11DepthStencilState> depthStencil_;
  // One view per texture the receive thread copies into in turn.
  struct CachedView {
    Microsoft::WRL::ComPtr<ID3D11ShaderResourceView> view;
    const void* texture = nullptr;  // identity only: the view holds the reference
    uint32_t format = 0;
  };
  std::array<CachedView, 3> views_;
  size_t nextView_ = 0;
  uint64_t viewCreations_ = 0;
};

}  // namespace tsl

#pragma once

#include <cstddef>

namespace tsl {

// The presenter's shaders: one full-screen triangle generated from the vertex index, and a
// linear sample of the frame. Compiled at start-up with D3DCompile (vs_5_0 and ps_5_0, entry
// "main"); the lengths exclude the terminating NUL.
inline constexpr char kVertexShaderText[] =
    "\n"
    "struct VSOut { float4 pos : SV_Position; float2 uv : TEXCOORD0; };\n"
    "VSOut main(uint id : SV_VertexID) {\n"
    "    VSOut o;\n"
    "    o.uv  = float2((id << 1) & 2, id & 2);\n"
    "    o.pos = float4(o.uv * float2(2, -2) + float2(-1, 1), 0, 1);\n"
    "    return o;\n"
    "}\n";
inline constexpr size_t kVertexShaderLength = sizeof kVertexShaderText - 1;
static_assert(kVertexShaderLength == 240, "vertex shader text");

inline constexpr char kPixelShaderText[] =
    "\n"
    "Texture2D    g_tex : register(t0);\n"
    "SamplerState g_smp : register(s0);\n"
    "struct PSIn { float4 pos : SV_Position; float2 uv : TEXCOORD0; };\n"
    "float4 main(PSIn i) : SV_Target {\n"
    "    return g_tex.Sample(g_smp, i.uv);\n"
    "}\n";
inline constexpr size_t kPixelShaderLength = sizeof kPixelShaderText - 1;
static_assert(kPixelShaderLength == 211, "pixel shader text");

// The overlay's: one colour, from a constant buffer, over the viewport it is drawn into.
inline constexpr char kSolidPixelShaderText[] =
    "\n"
    "cbuffer Colour : register(b0) { float4 g_rgba; };\n"
    "struct PSIn { float4 pos : SV_Position; float2 uv : TEXCOORD0; };\n"
    "float4 main(PSIn i) : SV_Target {\n"
    "    return g_rgba;\n"
    "}\n";
inline constexpr size_t kSolidPixelShaderLength = sizeof kSolidPixelShaderText - 1;

}  // namespace tsl

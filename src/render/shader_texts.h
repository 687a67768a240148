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

// The same sample for a source of more than 8 bits a channel, with an ordered dither of one
// level of the 8-bit back buffer: the dither's 8x8 tile is fixed to the window's pixels, so a
// still picture stays still, and every tile averages to what the source holds between two
// levels, where a plain write would band. Values outside 0..1 are clipped first.
// The rank is DitherRank's, bit for bit (the platform's shader compiler may not index an array
// by a computed value).
inline constexpr char kDitherPixelShaderText[] =
    "\n"
    "Texture2D    g_tex : register(t0);\n"
    "SamplerState g_smp : register(s0);\n"
    "struct PSIn { float4 pos : SV_Position; float2 uv : TEXCOORD0; };\n"
    "float4 main(PSIn i) : SV_Target {\n"
    "    float4 c = g_tex.Sample(g_smp, i.uv);\n"
    "    uint x = uint(i.pos.x) & 7;\n"
    "    uint xy = (uint(i.pos.x) ^ uint(i.pos.y)) & 7;\n"
    "    uint rank = ((xy & 1) << 5) | ((x & 1) << 4) | ((xy & 2) << 2) | ((x & 2) << 1) |\n"
    "                ((xy & 4) >> 1) | ((x & 4) >> 2);\n"
    "    float d = (float(rank) + 0.5) / 64.0 - 0.5;\n"
    "    return float4(saturate(c.rgb) + d / 255.0, c.a);\n"
    "}\n";
inline constexpr size_t kDitherPixelShaderLength = sizeof kDitherPixelShaderText - 1;

// The overlay's rectangles, all in one draw from a vertex buffer of coloured triangles (six
// vertices a rectangle, already in clip space): one buffer update a tick. A constant buffer
// written once per rectangle makes the driver wait for the one drawn before.
inline constexpr unsigned kOverlayMostRects = 512;
inline constexpr char kRectVertexShaderText[] =
    "\n"
    "struct VSIn { float2 pos : POSITION; float4 rgba : COLOR0; };\n"
    "struct VSOut { float4 pos : SV_Position; float4 rgba : COLOR0; };\n"
    "VSOut main(VSIn v) {\n"
    "    VSOut o;\n"
    "    o.pos = float4(v.pos, 0.0, 1.0);\n"
    "    o.rgba = v.rgba;\n"
    "    return o;\n"
    "}\n";
inline constexpr size_t kRectVertexShaderLength = sizeof kRectVertexShaderText - 1;
inline constexpr char kRectPixelShaderText[] =
    "\n"
    "struct PSIn { float4 pos : SV_Position; float4 rgba : COLOR0; };\n"
    "float4 main(PSIn i) : SV_Target { return i.rgba; }\n";
inline constexpr size_t kRectPixelShaderLength = sizeof kRectPixelShaderText - 1;

}  // namespace tsl

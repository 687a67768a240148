#pragma once

#include <cstdint>

namespace tsl {

// How a sender's pixel format (a DXGI_FORMAT code) is received and drawn. Portable.

// The format of the texture a received frame is copied into: the sender's own, except that an
// sRGB format is copied into its typeless twin, so that it can be viewed as UNORM below.
uint32_t CopyFormatFor(uint32_t format);

// The format a shader-resource view of a received frame is made with: typeless formats get
// their UNORM view, 0 becomes B8G8R8A8_UNORM, and an sRGB format its UNORM twin: sampling then
// hands the shader the values the sender encoded, which is what the 8-bit UNORM back buffer
// shows (an sRGB view would decode them to linear light, and the picture would come out too
// dark). Float formats stay: their values are taken as display-referred, as drawn.
uint32_t ViewFormatFor(uint32_t format);

// More than 8 bits a channel (10-bit, 16-bit and float formats): drawn dithered to the back
// buffer's 8 bits, or a smooth gradient would band.
bool IsDeepFormat(uint32_t format);

// The ordered dither's threshold at a pixel: an 8x8 Bayer matrix, each of 0..63 once, so that
// every aligned 8x8 block averages to the source (the presenter's dither shader holds it).
uint32_t DitherRank(uint32_t x, uint32_t y);

}  // namespace tsl

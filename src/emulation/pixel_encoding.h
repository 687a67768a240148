#pragma once

// How a sender stores a colour in each pixel format it may share: what the demo sender and the
// test peer write, so that what a receiver shows can be checked against what was meant.
// Portable.

#include <cstdint>
#include <string>
#include <vector>

namespace tsl::emulation {

// A display-referred colour, each channel 0..1 (a float format may hold more).
struct Rgba {
  float r = 0.0f;
  float g = 0.0f;
  float b = 0.0f;
  float a = 1.0f;
};

// Appends the 32-bit words of one pixel of `format` holding `c` (one word for 4-byte formats,
// two for 8-byte, four for 16-byte), rounded to the nearest level; false for a format that is
// not one a sender shares here (nothing appended). Unsigned-normalised channels are clipped to
// 0..1; float channels are stored as they are.
bool AppendPixel(uint32_t format, const Rgba& c, std::vector<uint32_t>& words);

// The 16-bit float nearest to `value` (finite values; beyond the largest: the largest).
uint16_t HalfFloat(float value);

// The format code a name stands for: the title's names ("RGBA16F", "BGRA8_sRGB", ...) or the
// code in decimal; 0 when it is neither, or names a format AppendPixel cannot write.
uint32_t FormatByName(const std::string& name);

}  // namespace tsl::emulation

#include "emulation/pixel_encoding.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "weft/weft_protocol.h"

namespace tsl::emulation {

namespace {

uint32_t Level(float value, uint32_t most) {
  const float clipped = std::clamp(value, 0.0f, 1.0f);
  return static_cast<uint32_t>(std::lround(clipped * static_cast<float>(most)));
}

uint32_t FloatBits(float value) {
  uint32_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

}  // namespace

uint16_t HalfFloat(float value) {
  const uint32_t bits = FloatBits(value);
  const auto sign = static_cast<uint16_t>((bits >> 16) & 0x8000u);
  const float magnitude = std::fabs(value);
  if (!(magnitude < 65520.0f)) return static_cast<uint16_t>(sign | 0x7BFFu);  // the largest
  if (magnitude < 6.103515625e-05f) {
    // Subnormal: steps of 2^-24.
    return static_cast<uint16_t>(sign | std::lround(magnitude * 16777216.0f));
  }
  int exponent = 0;
  const float mantissa = std::frexp(magnitude, &exponent);  // 0.5 <= mantissa < 1
  auto fraction = static_cast<uint32_t>(std::lround((mantissa * 2.0f - 1.0f) * 1024.0f));
  auto biased = static_cast<uint32_t>(exponent - 1 + 15);
  if (fraction == 1024) {  // rounded up into the next power of two
    fraction = 0;
    ++biased;
  }
  return static_cast<uint16_t>(sign | (biased << 10) | fraction);
}

bool AppendPixel(uint32_t format, const Rgba& c, std::vector<uint32_t>& words) {
  switch (format) {
    case 87:
    case 90:
    case 91:
      words.push_back(Level(c.a, 255) << 24 | Level(c.r, 255) << 16 | Level(c.g, 255) << 8 |
                      Level(c.b, 255));
      return true;
    case 27:
    case 28:
    case 29:
      words.push_back(Level(c.a, 255) << 24 | Level(c.b, 255) << 16 | Level(c.g, 255) << 8 |
                      Level(c.r, 255));
      return true;
    case 23:
    case 24:
      words.push_back(Level(c.a, 3) << 30 | Level(c.b, 1023) << 20 | Level(c.g, 1023) << 10 |
                      Level(c.r, 1023));
      return true;
    case 9:
    case 11:
      words.push_back(Level(c.g, 65535) << 16 | Level(c.r, 65535));
      words.push_back(Level(c.a, 65535) << 16 | Level(c.b, 65535));
      return true;
    case 10:
      words.push_back(static_cast<uint32_t>(HalfFloat(c.g)) << 16 | HalfFloat(c.r));
      words.push_back(static_cast<uint32_t>(HalfFloat(c.a)) << 16 | HalfFloat(c.b));
      return true;
    case 2:
      for (const float v : {c.r, c.g, c.b, c.a}) words.push_back(FloatBits(v));
      return true;
    default:
      return false;
  }
}

uint32_t FormatByName(const std::string& name) {
  for (const weft::NamedFormat& n : weft::kNamedFormats) {
    if (name == n.name) return n.format;
  }
  char* end = nullptr;
  const unsigned long code = std::strtoul(name.c_str(), &end, 10);
  if (name.empty() || *end != '\0' || code > 0xFFFF) return 0;
  std::vector<uint32_t> probe;
  return AppendPixel(static_cast<uint32_t>(code), Rgba{}, probe) ? static_cast<uint32_t>(code) : 0;
}

}  // namespace tsl::emulation

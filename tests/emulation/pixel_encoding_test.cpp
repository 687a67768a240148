#include "emulation/pixel_encoding.h"

#include <gtest/gtest.h>

#include <vector>

namespace tsl::emulation {
namespace {

// (204, 128, 51, 255) in every format a sender shares here: the words as stored.
TEST(PixelEncodingTest, AKnownColourInEachFormat) {
  const Rgba c{204.0f / 255, 128.0f / 255, 51.0f / 255, 1.0f};
  struct Case {
    uint32_t format;
    std::vector<uint32_t> words;
  };
  const Case cases[] = {
      {87, {0xFFCC8033}},
      {91, {0xFFCC8033}},
      {28, {0xFF3380CC}},
      {29, {0xFF3380CC}},
      // 204/255 of 1023 is 817.8, 128/255 is 513.5 (rounded up), 51/255 is 204.6.
      {24, {0xC0000000u | 205u << 20 | 514u << 10 | 818u}},
      {11, {0x8080CCCC, 0xFFFF3333}},
      // Half floats: 0.8 is 0x3A66, 0.50196 is 0x3804, 0.2 is 0x3266, 1 is 0x3C00.
      {10, {0x38043A66, 0x3C003266}},
      {2, {0x3F4CCCCD, 0x3F008081, 0x3E4CCCCD, 0x3F800000}},
  };
  for (const Case& k : cases) {
    std::vector<uint32_t> words;
    ASSERT_TRUE(AppendPixel(k.format, c, words)) << k.format;
    EXPECT_EQ(words, k.words) << k.format;
  }
  std::vector<uint32_t> words;
  EXPECT_FALSE(AppendPixel(61, c, words));  // R8_UNORM: not one a sender shares here
  EXPECT_TRUE(words.empty());
  // Normalised channels are clipped; float ones keep what they hold.
  ASSERT_TRUE(AppendPixel(87, Rgba{1.5f, -0.5f, 0.0f, 1.0f}, words));
  EXPECT_EQ(words[0], 0xFFFF0000u);
}

TEST(PixelEncodingTest, HalfFloatsRoundToTheNearestAndStayFinite) {
  struct Case {
    float value;
    uint16_t half;
  };
  for (const Case c :
       {Case{0.0f, 0x0000}, Case{1.0f, 0x3C00}, Case{-2.0f, 0xC000}, Case{0.5f, 0x3800},
        Case{65504.0f, 0x7BFF}, Case{1e9f, 0x7BFF}, Case{6.1035156e-05f, 0x0400},
        Case{1e-7f, 0x0002}, Case{1.9990234375f, 0x3FFF}, Case{1.9998f, 0x4000}}) {
    EXPECT_EQ(HalfFloat(c.value), c.half) << c.value;
  }
}

TEST(PixelEncodingTest, FormatsAreNamedAsTheTitleNamesThemOrByNumber) {
  struct Case {
    const char* name;
    uint32_t format;
  };
  for (const Case c : {Case{"RGBA16F", 10}, Case{"BGRA8_sRGB", 91}, Case{"R10G10B10A2", 24},
                       Case{"RGBA32F", 2}, Case{"87", 87}, Case{"9", 9}, Case{"61", 0},
                       Case{"rgba16f", 0}, Case{"", 0}, Case{"28x", 0}, Case{"4294967383", 0}}) {
    EXPECT_EQ(FormatByName(c.name), c.format) << c.name;
  }
}

}  // namespace
}  // namespace tsl::emulation

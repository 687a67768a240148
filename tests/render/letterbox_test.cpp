#include "render/letterbox.h"

#include <gtest/gtest.h>

#include <cstring>

#include "render/shader_texts.h"

namespace tsl {
namespace {

TEST(LetterboxTest, FitsTheSourceCentredWithoutRoundingToPixels) {
  struct Case {
    uint32_t sw, sh, cw, ch;
    Viewport expected;
  };
  const Case cases[] = {
      {1920, 1080, 1000, 1000, {0.0f, 218.75f, 1000.0f, 562.5f}},
      {1080, 1920, 1920, 1080, {656.25f, 0.0f, 607.5f, 1080.0f}},
      {1280, 720, 1280, 720, {0.0f, 0.0f, 1280.0f, 720.0f}},
      {640, 480, 1920, 1080, {240.0f, 0.0f, 1440.0f, 1080.0f}},
      {3, 1, 1000, 1000, {0.0f, 333.33334f, 1000.0f, 333.33334f}},
  };
  for (const Case& c : cases) {
    const Viewport v = LetterboxViewport(c.sw, c.sh, c.cw, c.ch);
    EXPECT_FLOAT_EQ(v.left, c.expected.left) << c.sw << "x" << c.sh << " in " << c.cw;
    EXPECT_FLOAT_EQ(v.top, c.expected.top) << c.sw << "x" << c.sh << " in " << c.cw;
    EXPECT_FLOAT_EQ(v.width, c.expected.width) << c.sw << "x" << c.sh << " in " << c.cw;
    EXPECT_FLOAT_EQ(v.height, c.expected.height) << c.sw << "x" << c.sh << " in " << c.cw;
  }
}

TEST(ShaderTextsTest, BeginWithALineFeedAndEndEveryLineWithOne) {
  for (const char* text : {kVertexShaderText, kPixelShaderText, kDitherPixelShaderText}) {
    EXPECT_EQ(text[0], '\n');
    EXPECT_EQ(text[std::strlen(text) - 1], '\n');
    EXPECT_EQ(std::strchr(text, '\r'), nullptr);
  }
  EXPECT_NE(std::strstr(kVertexShaderText, "o.uv  = float2((id << 1) & 2, id & 2);"), nullptr);
  EXPECT_NE(std::strstr(kPixelShaderText, "return g_tex.Sample(g_smp, i.uv);"), nullptr);
}

}  // namespace
}  // namespace tsl

#include "render/pixel_format.h"

#include <gtest/gtest.h>

#include <set>

namespace tsl {
namespace {

// What each format a sender may share is copied into, viewed as, and whether it is dithered.
// An sRGB view would decode the sender's values to linear light for an 8-bit UNORM back
// buffer: (204, 128, 51) showed as (154, 55, 8).
TEST(PixelFormatTest, EachFormatIsCopiedViewedAndDitheredAsItsValuesNeed) {
  struct Case {
    uint32_t format, copy, view;
    bool deep;
  };
  const Case cases[] = {
      {0, 0, 87, false},   {87, 87, 87, false}, {90, 90, 87, false}, {91, 90, 87, false},
      {28, 28, 28, false}, {27, 27, 28, false}, {29, 27, 28, false}, {24, 24, 24, true},
      {23, 23, 24, true},  {11, 11, 11, true},  {9, 9, 11, true},    {10, 10, 10, true},
      {2, 2, 2, true},     {1, 1, 1, true},     {61, 61, 61, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CopyFormatFor(c.format), c.copy) << c.format;
    EXPECT_EQ(ViewFormatFor(c.format), c.view) << c.format;
    EXPECT_EQ(IsDeepFormat(c.format), c.deep) << c.format;
  }
}

// Every rank once in an 8x8 tile, repeating; and spread: each aligned 2x2 and 4x4 block holds
// one rank of each quarter and sixteenth of the range, so small blocks already average right.
TEST(PixelFormatTest, TheDitherIsAnEvenlySpreadPermutationOfItsTile) {
  std::set<uint32_t> ranks;
  for (uint32_t y = 0; y < 8; ++y) {
    for (uint32_t x = 0; x < 8; ++x) {
      ranks.insert(DitherRank(x, y));
      EXPECT_EQ(DitherRank(x + 8, y + 16), DitherRank(x, y));
    }
  }
  EXPECT_EQ(ranks.size(), 64u);
  EXPECT_EQ(*ranks.rbegin(), 63u);
  for (const uint32_t size : {2u, 4u}) {
    for (uint32_t by = 0; by < 8; by += size) {
      for (uint32_t bx = 0; bx < 8; bx += size) {
        std::set<uint32_t> parts;
        for (uint32_t y = by; y < by + size; ++y) {
          for (uint32_t x = bx; x < bx + size; ++x)
            parts.insert(DitherRank(x, y) * size * size / 64);
        }
        EXPECT_EQ(parts.size(), size * size) << size << " at " << bx << "," << by;
      }
    }
  }
}

}  // namespace
}  // namespace tsl

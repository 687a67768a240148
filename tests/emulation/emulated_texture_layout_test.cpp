// The emulated texture's header is written by another process: every claim it makes is
// checked against the view before a pixel is read.
#include "emulation/emulated_texture_layout.h"

#include <gtest/gtest.h>

#include <vector>

#include "weft/weft_protocol.h"

namespace tsl::emulation {
namespace {

TEST(EmulatedTextureLayoutTest, ADescriptionIsTakenOnlyWhenItsRowsFitTheView) {
  struct Case {
    const char* what;
    TextureDescription written;
    size_t view_bytes;
    bool accepted;
  };
  const Case cases[] = {
      {"exact fit", {64, 36, weft::kFormatBgra8, 256}, kHeaderBytes + 256 * 36, true},
      {"padded rows", {64, 36, weft::kFormatBgra8, 300}, kHeaderBytes + 300 * 36, true},
      {"one byte short", {64, 36, weft::kFormatBgra8, 256}, kHeaderBytes + 256 * 36 - 1, false},
      {"zero width", {0, 36, weft::kFormatBgra8, 256}, 1 << 20, false},
      {"zero height", {64, 0, weft::kFormatBgra8, 256}, 1 << 20, false},
      {"row pitch below a row", {64, 36, weft::kFormatBgra8, 255}, 1 << 20, false},
      {"width beyond Direct3D's limit", {16385, 1, weft::kFormatBgra8, 65540}, 1 << 20, false},
      // 0xFFFFFFFF x 0xFFFFFFFF would wrap a 32-bit product to a small size.
      {"sizes that overflow",
       {0xFFFFFFFF, 0xFFFFFFFF, weft::kFormatBgra8, 0xFFFFFFFC},
       1 << 20,
       false},
      {"pitch whose product wraps", {1, 16384, weft::kFormatBgra8, 0x80000000}, 1 << 20, false},
      // The pitch is checked against the format's own pixel size, or an upload of a 16- or
      // 8-byte format reads past the mapping.
      {"16-byte format, 4-byte pitch", {64, 36, 2, 256}, kHeaderBytes + 256 * 36, false},
      {"8-byte format, 4-byte pitch", {64, 36, 10, 256}, kHeaderBytes + 256 * 36, false},
      {"16-byte format, its own pitch", {64, 36, 2, 1024}, kHeaderBytes + 1024 * 36, true},
      {"8-byte format, its own pitch", {64, 36, 10, 512}, kHeaderBytes + 512 * 36, true},
      {"a format the emulation does not carry", {64, 36, 71, 256}, 1 << 20, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> view(c.view_bytes);
    WriteDescription(c.written, view.data());
    TextureDescription read{1, 2, 3, 4};
    ASSERT_EQ(ReadDescription(view.data(), view.size(), read), c.accepted);
    if (c.accepted) {
      EXPECT_EQ(read.width, c.written.width);
      EXPECT_EQ(read.height, c.written.height);
      EXPECT_EQ(read.format, c.written.format);
      EXPECT_EQ(read.row_pitch, c.written.row_pitch);
    } else {
      EXPECT_EQ(read.width, 1u);  // untouched
    }
  }
  uint8_t small[kHeaderBytes - 1] = {};
  TextureDescription read;
  EXPECT_FALSE(ReadDescription(small, sizeof small, read));
  EXPECT_FALSE(ReadDescription(nullptr, 1 << 20, read));
  EXPECT_EQ(MappingName(0x40001040), "TessalineTestTexture_40001040");
}

}  // namespace
}  // namespace tsl::emulation

// What the display shows of Tessaline's window for each pixel format a sender may share: a
// second process publishes a known colour or a gradient, and the test reads the window back
// from the screen (not from the program's own buffers).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/app_driver_win32.h"
#include "support/peer_process_win32.h"
#include "support/wait_until_win32.h"

namespace tsl {
namespace {

using testing::AppProcess;
using testing::PeerProcess;

struct Shown {
  int r = -1, g = -1, b = -1;
};

Shown CentrePixel(AppProcess& app) {
  uint32_t width = 0;
  uint32_t height = 0;
  const std::vector<uint32_t> pixels = app.CaptureClient(width, height);
  if (pixels.empty()) return {};
  const uint32_t p = pixels[(height / 2) * width + width / 2];
  return Shown{static_cast<int>((p >> 16) & 0xFF), static_cast<int>((p >> 8) & 0xFF),
               static_cast<int>(p & 0xFF)};
}

// (204, 128, 51) in each format, the sender picked in turn while running: the glass shows what
// the sender encoded, within a level (a deep source is dithered by up to half a level).
TEST(PixelFormatE2ETest, EachFormatShowsTheColourTheSenderEncoded) {
  PeerProcess sender;
  ASSERT_TRUE(sender.Started());
  struct Case {
    uint32_t format;
    const wchar_t* title;
  };
  const Case cases[] = {
      {87, L"fmt BGRA8"},       {90, L"fmt BGRA8_typeless"}, {91, L"fmt BGRA8_sRGB"},
      {28, L"fmt RGBA8"},       {27, L"fmt RGBA8_typeless"}, {29, L"fmt RGBA8_sRGB"},
      {24, L"fmt R10G10B10A2"}, {23, L"fmt other"},          {11, L"fmt RGBA16"},
      {9, L"fmt other"},        {10, L"fmt RGBA16F"},        {2, L"fmt RGBA32F"}};
  for (const Case& c : cases) {
    const std::string f = std::to_string(c.format);
    const std::string handle = std::to_string(7300 + c.format);
    ASSERT_EQ(sender.Send("paint " + handle + " 64 36 " + f + " 204 128 51"), "ok") << f;
    ASSERT_EQ(sender.Send("register TslFmt_" + f + " " + handle + " 64 36 " + f), "ok") << f;
  }
  AppProcess app;
  ASSERT_TRUE(app.Start(L"tessaline_emulated.exe",
                        L"--sender TslFmt_87 --width 320 --height 180 --fps 30"));
  HWND window = app.WaitForWindow();
  ASSERT_NE(window, nullptr);
  for (const Case& c : cases) {
    const std::string f = std::to_string(c.format);
    ASSERT_TRUE(testing::PickSender(window, "TslFmt_" + f));
    EXPECT_TRUE(
        app.WaitForTitleContaining(L"src \"TslFmt_" + std::wstring(f.begin(), f.end()) + L"\""))
        << f;
    EXPECT_TRUE(app.WaitForTitleContaining(c.title)) << f;
    Shown shown;
    const bool right = testing::WaitUntil(
        [&] {
          shown = CentrePixel(app);
          return std::abs(shown.r - 204) <= 1 && std::abs(shown.g - 128) <= 1 &&
                 std::abs(shown.b - 51) <= 1;
        },
        5'000);
    EXPECT_TRUE(right) << "format " << f << " shows (" << shown.r << ", " << shown.g << ", "
                       << shown.b << ")";
  }
  app.PostKey(VK_ESCAPE);
  EXPECT_EQ(app.WaitForExit(), 0u);
  for (const Case& c : cases) sender.Send("unlist TslFmt_" + std::to_string(c.format));
}

// A 16-bit grey rising two levels across the window, drawn one to one: on an 8-bit display a
// plain write makes three flat bands, each up to half a level off the source; the mean of every
// 8x8 block must follow the source within a quarter of a level.
TEST(PixelFormatE2ETest, ADeepGradientIsNotBandedOnTheGlass) {
  PeerProcess sender;
  ASSERT_TRUE(sender.Started());
  ASSERT_EQ(sender.Send("ramp 7400 320 180 11 100 102"), "ok");
  ASSERT_EQ(sender.Send("register TslFmt_Ramp 7400 320 180 11"), "ok");
  AppProcess app;
  ASSERT_TRUE(app.Start(L"tessaline_emulated.exe",
                        L"--sender TslFmt_Ramp --width 320 --height 180 --fps 30"));
  ASSERT_NE(app.WaitForWindow(), nullptr);
  ASSERT_TRUE(app.WaitForTitleContaining(L"connected"));
  Sleep(500);
  uint32_t width = 0;
  uint32_t height = 0;
  const std::vector<uint32_t> pixels = app.CaptureClient(width, height);
  ASSERT_EQ(width, 320u);
  ASSERT_EQ(height, 180u);
  double worst = 0.0;
  for (uint32_t by = 0; by + 8 <= height; by += 8) {
    for (uint32_t bx = 0; bx < width; bx += 8) {
      double shown = 0.0;
      double source = 0.0;
      for (uint32_t y = by; y < by + 8; ++y) {
        for (uint32_t x = bx; x < bx + 8; ++x) {
          shown += (pixels[y * width + x] >> 8) & 0xFF;
          // What the 16-bit source holds, in levels of 255.
          const double level = 100.0 + 2.0 * x / (width - 1);
          source += std::lround(level / 255.0 * 65535.0) / 65535.0 * 255.0;
        }
      }
      worst = std::max(worst, std::fabs(shown - source) / 64.0);
    }
  }
  EXPECT_LE(worst, 0.25) << "the worst 8x8 block's mean is " << worst << " of a level off";
  app.PostKey(VK_ESCAPE);
  EXPECT_EQ(app.WaitForExit(), 0u);
  sender.Send("unlist TslFmt_Ramp");
}

}  // namespace
}  // namespace tsl

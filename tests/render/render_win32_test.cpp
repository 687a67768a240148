// The device, presenter and per-tick stage for real under Wine (Mesa's software rasteriser),
// drawing into a real window and reading the back buffer back through a staging texture.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "base/qpc.h"
#include "base/unique_handle_win32.h"
#include "gpu/frame_slot_win32.h"
#include "gpu/gpu_device_win32.h"
#include "measure/display_log.h"
#include "measure/present_tracker.h"
#include "render/overlay_text_win32.h"
#include "render/present_stage_win32.h"
#include "render/presenter_win32.h"
#include "support/fake_display_swap_chain_win32.h"
#include "support/presenter_probe_win32.h"
#include "support/weft_test_env_win32.h"
#include "tick/tick_path.h"
#include "window/main_window_win32.h"

namespace tsl {
namespace {

using Microsoft::WRL::ComPtr;

constexpr auto kPresented = Presenter::DrawResult::kPresented;
constexpr uint32_t kGreen = 0xFF00FF00;  // B8G8R8A8 bytes 00 FF 00 FF read as a word
constexpr uint32_t kBlack = 0xFF000000;

ComPtr<ID3D11Texture2D> MakeTexture(ID3D11Device* device, uint32_t width, uint32_t height,
                                    const std::vector<uint32_t>& pixels,
                                    DXGI_FORMAT format = DXGI_FORMAT_B8G8R8A8_UNORM) {
  D3D11_TEXTURE2D_DESC desc{};
  desc.Width = width;
  desc.Height = height;
  desc.MipLevels = desc.ArraySize = 1;
  desc.Format = format;
  desc.SampleDesc.Count = 1;
  desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
  D3D11_SUBRESOURCE_DATA data{pixels.data(), width * 4, 0};
  ComPtr<ID3D11Texture2D> texture;
  device->CreateTexture2D(&desc, &data, &texture);
  return texture;
}

ComPtr<ID3D11Texture2D> SolidTexture(ID3D11Device* device, uint32_t width, uint32_t height,
                                     uint32_t bgra,
                                     DXGI_FORMAT format = DXGI_FORMAT_B8G8R8A8_UNORM) {
  return MakeTexture(device, width, height,
                     std::vector<uint32_t>(static_cast<size_t>(width) * height, bgra), format);
}

// Channel `shift` (0 blue, 8 green, 16 red for B8G8R8A8 words) of a pixel word.
int Channel(uint32_t pixel, int shift) { return static_cast<int>((pixel >> shift) & 0xFF); }

bool Near(uint32_t actual, uint32_t expected, int tolerance) {
  for (int shift : {0, 8, 16, 24}) {
    if (std::abs(Channel(actual, shift) - Channel(expected, shift)) > tolerance) return false;
  }
  return true;
}

class RenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(window_.Create(L"Tessaline", 1000, 1000, true));
    ASSERT_TRUE(gpu_.Create());
    ASSERT_TRUE(presenter_.Initialize(&gpu_, window_.hwnd));
    stage_.Bind(&presenter_, &slot_);
    path_.Bind(&stage_);
  }
  void TearDown() override {
    presenter_.Release();
    gpu_.Release();
    window_.Destroy();
  }

  MainWindow window_;
  GpuDevice gpu_;
  Presenter presenter_;
  FrameSlot slot_;
  PresentStage stage_;
  PaceStats stats_{kPaceRingCapacity};
  PresentTracker tracker_;
  TickPath path_{stats_, tracker_, base::QpcNow};
  uint64_t nextTick_ = 0;
  PresenterProbe probe_{presenter_};

  // One tick of the program's own path through the stage.
  PresentResult Tick(uint32_t sync_interval) {
    const uint64_t now = base::QpcNow();
    return path_.Run(nextTick_++, now, now, sync_interval);
  }
};

TEST_F(RenderTest, DeviceHasAnAdapterNameAFactoryAndMultithreadProtection) {
  EXPECT_FALSE(gpu_.adapterName.empty());
  EXPECT_NE(gpu_.factory, nullptr);
  EXPECT_EQ(probe_.BackBufferWidth(), 1280u);
  EXPECT_EQ(probe_.BackBufferHeight(), 720u);
  DXGI_SWAP_CHAIN_DESC1 desc{};
  ASSERT_HRESULT_SUCCEEDED(probe_.SwapChain()->GetDesc1(&desc));
  EXPECT_EQ(desc.SwapEffect, DXGI_SWAP_EFFECT_FLIP_DISCARD);
  EXPECT_EQ(desc.BufferCount, 2u);
  EXPECT_EQ(desc.Scaling, DXGI_SCALING_STRETCH);
  gpu_.Release();
  EXPECT_EQ(gpu_.device, nullptr);
  EXPECT_FALSE(gpu_.adapterName.empty());  // the name stays
  gpu_.Release();
}

TEST_F(RenderTest, LetterboxDrawsTheImageInTheCentredViewportWithBlackBands) {
  presenter_.letterbox = true;
  auto texture = SolidTexture(gpu_.device.Get(), 1920, 1080, kGreen);
  ASSERT_EQ(probe_.Render(texture.Get(), 1920, 1080, DXGI_FORMAT_B8G8R8A8_UNORM),
            PresenterProbe::RenderResult::kDrawn);
  EXPECT_EQ(probe_.BackBufferWidth(), 1000u);  // buffers follow the client area
  EXPECT_EQ(probe_.BackBufferHeight(), 1000u);
  uint32_t width = 0;
  const auto pixels = testing::ReadPixels(gpu_.device.Get(), probe_.BackBuffer(), width);
  ASSERT_EQ(pixels.size(), 1000u * 1000u);
  const auto at = [&](uint32_t x, uint32_t y) {
    return pixels[static_cast<size_t>(y) * width + x];
  };
  // The viewport is 0, 218.75, 1000 x 562.5. Exactly, rows 219 to 780 have their centres inside
  // it; Wine hands the viewport to OpenGL and may round its fractional edges, so the rows on
  // either edge may go either way, and everything else must be exact.
  for (uint32_t x : {0u, 500u, 999u}) {
    uint32_t first_green = 0;
    uint32_t last_green = 0;
    for (uint32_t y = 0; y < 1000; ++y) {
      const uint32_t p = at(x, y);
      ASSERT_TRUE(p == kGreen || p == kBlack) << x << "," << y << ": " << std::hex << p;
      if (p == kGreen) {
        if (first_green == 0) first_green = y;
        last_green = y;
      }
    }
    EXPECT_GE(first_green, 218u);
    EXPECT_LE(first_green, 220u);
    EXPECT_GE(last_green, 779u);
    EXPECT_LE(last_green, 781u);
    for (uint32_t y = first_green; y <= last_green; ++y) ASSERT_EQ(at(x, y), kGreen) << y;
    EXPECT_EQ(at(x, 0), kBlack);
    EXPECT_EQ(at(x, 999), kBlack);
  }
  EXPECT_EQ(presenter_.Draw(texture.Get(), 1920, 1080, DXGI_FORMAT_B8G8R8A8_UNORM, 0), kPresented);
}

TEST_F(RenderTest, StretchSizesTheBuffersToTheSourceOnlyWhenTheWantedSizeChanges) {
  auto small = SolidTexture(gpu_.device.Get(), 320, 240, kGreen);
  auto big = SolidTexture(gpu_.device.Get(), 3840, 2160, kGreen);
  presenter_.letterbox = false;
  const uint64_t resizes = probe_.ResizeCount();
  ASSERT_EQ(presenter_.Draw(small.Get(), 320, 240, DXGI_FORMAT_B8G8R8A8_UNORM, 0), kPresented);
  EXPECT_EQ(probe_.BackBufferWidth(), 320u);
  EXPECT_EQ(probe_.ResizeCount(), resizes + 1);
  ASSERT_EQ(presenter_.Draw(small.Get(), 320, 240, DXGI_FORMAT_B8G8R8A8_UNORM, 0), kPresented);
  EXPECT_EQ(probe_.ResizeCount(), resizes + 1);
  uint32_t width = 0;
  probe_.Render(small.Get(), 320, 240, DXGI_FORMAT_B8G8R8A8_UNORM);
  const auto pixels = testing::ReadPixels(gpu_.device.Get(), probe_.BackBuffer(), width);
  ASSERT_FALSE(pixels.empty());
  EXPECT_EQ(pixels.front(), kGreen);  // the image fills the buffer: no bands
  EXPECT_EQ(pixels.back(), kGreen);

  ASSERT_EQ(presenter_.Draw(big.Get(), 3840, 2160, DXGI_FORMAT_B8G8R8A8_UNORM, 0), kPresented);
  EXPECT_EQ(probe_.BackBufferWidth(), 3840u);
  EXPECT_EQ(probe_.BackBufferHeight(), 2160u);
  presenter_.letterbox = true;
  ASSERT_EQ(presenter_.Draw(big.Get(), 3840, 2160, DXGI_FORMAT_B8G8R8A8_UNORM, 0), kPresented);
  EXPECT_EQ(probe_.BackBufferWidth(), 1000u);
  ASSERT_EQ(presenter_.Draw(big.Get(), 3840, 2160, DXGI_FORMAT_B8G8R8A8_UNORM, 0), kPresented);
  presenter_.letterbox = false;
  ASSERT_EQ(presenter_.Draw(big.Get(), 3840, 2160, DXGI_FORMAT_B8G8R8A8_UNORM, 0), kPresented);
  EXPECT_EQ(probe_.ResizeCount(), resizes + 4);
}

TEST_F(RenderTest, BeforeAnyFrameEachTickPresentsBlackAndCountsNothing) {
  for (int i = 0; i < 3; ++i) {
    const PresentResult r = Tick(0);
    EXPECT_FALSE(r.frame_counted);
    EXPECT_TRUE(r.present_made);  // a black present, followed to the screen like any other
    EXPECT_FALSE(r.repeated);
    EXPECT_EQ(r.version, 0u);
  }
  EXPECT_EQ(path_.PresentCount(), 0u);
  EXPECT_EQ(path_.RepeatCount(), 0u);
}

TEST_F(RenderTest, ARepeatedVersionCountsOneRepeatAndStillPresents) {
  auto texture = SolidTexture(gpu_.device.Get(), 64, 64, kGreen);
  slot_.Publish(texture.Get(), 64, 64, DXGI_FORMAT_B8G8R8A8_UNORM);
  PresentResult r = Tick(0);
  EXPECT_TRUE(r.frame_counted);
  EXPECT_FALSE(r.repeated);
  EXPECT_EQ(r.version, 1u);
  r = Tick(0);
  EXPECT_TRUE(r.frame_counted);
  EXPECT_TRUE(r.repeated);
  EXPECT_EQ(r.version, 1u);
  slot_.Publish(texture.Get(), 64, 64, DXGI_FORMAT_B8G8R8A8_UNORM);
  r = Tick(1);
  EXPECT_FALSE(r.repeated);
  EXPECT_EQ(r.version, 2u);
  EXPECT_EQ(path_.PresentCount(), 3u);
  EXPECT_EQ(path_.RepeatCount(), 1u);
  EXPECT_EQ(slot_.Format(), DXGI_FORMAT_B8G8R8A8_UNORM);
}

TEST_F(RenderTest, TheStageTakesTheNewestFrameUpToAVersionOrTheOldestTheSlotHolds) {
  auto first = SolidTexture(gpu_.device.Get(), 64, 64, kGreen);
  auto second = SolidTexture(gpu_.device.Get(), 32, 32, kGreen);
  auto third = SolidTexture(gpu_.device.Get(), 16, 16, kGreen);
  slot_.Publish(first.Get(), 64, 64, DXGI_FORMAT_B8G8R8A8_UNORM, 100);
  slot_.Publish(second.Get(), 32, 32, DXGI_FORMAT_B8G8R8A8_UNORM, 200);
  slot_.Publish(third.Get(), 16, 16, DXGI_FORMAT_B8G8R8A8_UNORM, 300);
  OutputFrame newest;
  OutputFrame previous;
  stage_.Peek(newest, previous);
  EXPECT_TRUE(newest.taken && previous.taken);
  EXPECT_EQ(newest.version, 3u);
  EXPECT_EQ(newest.seen_qpc, 300u);
  EXPECT_EQ(previous.version, 2u);
  EXPECT_EQ(previous.seen_qpc, 200u);
  struct Case {
    uint64_t at_most;
    uint64_t version;
  };
  // The first frame is no longer held: asked for, the oldest held is taken.
  for (const Case c : {Case{FramePicker::kNewest, 3}, Case{3, 3}, Case{2, 2}, Case{1, 2}}) {
    OutputFrame frame;
    EXPECT_EQ(stage_.PresentFrame(1, c.at_most, frame), PresentOutcome::kMade);
    EXPECT_EQ(frame.version, c.version) << c.at_most;
  }
  slot_.Clear();
  stage_.Peek(newest, previous);
  EXPECT_FALSE(newest.taken || previous.taken);
}

TEST_F(RenderTest, SteadyTicksCreateNoViewAndResizeNothing) {
  presenter_.letterbox = true;
  // The receive thread publishes three textures in turn.
  std::vector<ComPtr<ID3D11Texture2D>> copies;
  for (int i = 0; i < 3; ++i) copies.push_back(SolidTexture(gpu_.device.Get(), 640, 360, kGreen));
  for (const auto& copy : copies) {
    slot_.Publish(copy.Get(), 640, 360, 90);  // typeless: viewed as 87
    Tick(0);
  }
  const uint64_t views = probe_.ViewCreations();
  const uint64_t resizes = probe_.ResizeCount();
  EXPECT_EQ(views, 3u);
  for (int i = 0; i < 300; ++i) {
    slot_.Publish(copies[i % 3].Get(), 640, 360, 90);
    Tick(0);
  }
  EXPECT_EQ(probe_.ViewCreations(), views);
  EXPECT_EQ(probe_.ResizeCount(), resizes);
  EXPECT_EQ(path_.PresentCount(), 303u);

  // A new texture, or the same texture viewed in another format, makes one new view.
  auto other = SolidTexture(gpu_.device.Get(), 640, 360, kGreen);
  slot_.Publish(other.Get(), 640, 360, DXGI_FORMAT_B8G8R8A8_UNORM);
  Tick(0);
  Tick(0);
  EXPECT_EQ(probe_.ViewCreations(), views + 1);
}

TEST_F(RenderTest, AMinimisedWindowDrawsNothingButTheTickStillCounts) {
  presenter_.letterbox = true;
  auto texture = SolidTexture(gpu_.device.Get(), 64, 64, kGreen);
  ShowWindow(window_.hwnd, SW_MINIMIZE);
  window_.PumpMessages();
  RECT client{};
  GetClientRect(window_.hwnd, &client);
  if (client.right != 0 && client.bottom != 0) GTEST_SKIP() << "the platform keeps a client area";
  const uint64_t resizes = probe_.ResizeCount();
  EXPECT_EQ(probe_.Render(texture.Get(), 64, 64, DXGI_FORMAT_B8G8R8A8_UNORM),
            PresenterProbe::RenderResult::kNothingToDraw);
  EXPECT_EQ(presenter_.Draw(texture.Get(), 64, 64, DXGI_FORMAT_B8G8R8A8_UNORM, 0),
            Presenter::DrawResult::kNothingToDraw);
  slot_.Publish(texture.Get(), 64, 64, DXGI_FORMAT_B8G8R8A8_UNORM);
  const PresentResult r = Tick(0);
  EXPECT_TRUE(r.frame_counted);
  EXPECT_FALSE(r.present_made);  // no present call: nothing for the display side to follow
  EXPECT_EQ(path_.PresentCount(), 1u);
  EXPECT_EQ(probe_.ResizeCount(), resizes);

  // With a waitable swap chain (here a semaphore in its place), a wait that no present followed
  // is owed to the next present: the next tick does not wait again, which would take a signal
  // that only a present gives back and stall it for a second.
  const base::UniqueHandle ready(CreateSemaphoreW(nullptr, 1, 1, nullptr));
  probe_.UseLatencyWaitable(ready.get());
  Tick(0);
  EXPECT_EQ(WaitForSingleObject(ready.get(), 0), WAIT_TIMEOUT) << "the first wait took it";
  ReleaseSemaphore(ready.get(), 1, nullptr);
  Tick(1);
  EXPECT_EQ(WaitForSingleObject(ready.get(), 0), WAIT_OBJECT_0) << "a second wait, no present";
  // Restored, the window presents again: the owed wait is used, and the next present waits
  // first, under sync interval 0 as under 1.
  ShowWindow(window_.hwnd, SW_RESTORE);
  window_.PumpMessages();
  ReleaseSemaphore(ready.get(), 1, nullptr);
  EXPECT_TRUE(Tick(0).present_made);
  EXPECT_EQ(WaitForSingleObject(ready.get(), 0), WAIT_OBJECT_0) << "waited though one was owed";
  ReleaseSemaphore(ready.get(), 1, nullptr);
  EXPECT_TRUE(Tick(0).present_made);
  EXPECT_EQ(WaitForSingleObject(ready.get(), 0), WAIT_TIMEOUT) << "no wait under sync 0";
  probe_.UseLatencyWaitable(nullptr);
}

// Every pixel of a 64 x 32 image is different (blue grows to the right, green downwards) and a
// red block marks the top-left corner. Drawn 1:1 (stretch mode sizes the buffers to the
// source), the back buffer must hold the image exactly: a flipped or mirrored picture moves the
// corner, and texture coordinates off by even half a texel blend neighbours under the linear
// filter.
std::vector<uint32_t> MarkedGradient(uint32_t width, uint32_t height) {
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const uint32_t red = (x < 4 && y < 4) ? 0xFF : 0x00;
      pixels[static_cast<size_t>(y) * width + x] = 0xFF000000 | red << 16 | (y * 8) << 8 | x * 4;
    }
  }
  return pixels;
}

TEST_F(RenderTest, OneToOneTheBackBufferHoldsTheImageUnflippedUnmirroredAndUnshifted) {
  const std::vector<uint32_t> image = MarkedGradient(64, 32);
  auto texture = MakeTexture(gpu_.device.Get(), 64, 32, image);
  presenter_.letterbox = false;
  ASSERT_EQ(probe_.Render(texture.Get(), 64, 32, DXGI_FORMAT_B8G8R8A8_UNORM),
            PresenterProbe::RenderResult::kDrawn);
  uint32_t width = 0;
  const auto pixels = testing::ReadPixels(gpu_.device.Get(), probe_.BackBuffer(), width);
  ASSERT_EQ(pixels.size(), image.size());
  int wrong = 0;
  for (size_t i = 0; i < image.size(); ++i) {
    if (!Near(pixels[i], image[i], 1) && ++wrong <= 5) {
      ADD_FAILURE() << "pixel " << i % 64 << "," << i / 64 << ": " << std::hex << pixels[i]
                    << " instead of " << image[i];
    }
  }
  EXPECT_EQ(wrong, 0);
}

// Quadrants of distinct colours: top-left red, top-right green, bottom-left blue, bottom-right
// white. Each case gives where the image must land in the 1000 x 1000 client area (or, for
// stretch, in the buffers); the centres of the four quadrants and of the bands are checked.
// The overlay graph is drawn over the frame in the top-left corner only: with it, the corner
// changes and every other pixel stays as it was; without it again, the picture is restored to
// the pixel. Its bars follow a known run of intervals, and its figures are text under it.
TEST_F(RenderTest, TheOverlayDrawsItsBarsInTheCornerAndNothingElse) {
  const std::vector<uint32_t> image = MarkedGradient(64, 32);
  auto texture = MakeTexture(gpu_.device.Get(), 64, 32, image);
  presenter_.letterbox = true;  // the buffer is the window's client area
  const auto read = [&](uint32_t& width) {
    return testing::ReadPixels(gpu_.device.Get(), probe_.BackBuffer(), width);
  };
  ASSERT_EQ(probe_.Render(texture.Get(), 64, 32, DXGI_FORMAT_B8G8R8A8_UNORM),
            PresenterProbe::RenderResult::kDrawn);
  uint32_t width = 0;
  const std::vector<uint32_t> plain = read(width);
  ASSERT_GT(width, 0u);
  const auto height = static_cast<uint32_t>(plain.size() / width);

  // Ticks at 10 MHz against a 4 ms target: 4, 4, 8 (late, to the top), 2 (held), 4 ms.
  std::vector<PaceSample> ticks(1);
  for (const auto& [ms, held] : std::vector<std::pair<double, bool>>{
           {4.0, false}, {4.0, false}, {8.0, false}, {2.0, true}, {4.0, false}}) {
    PaceSample s;
    s.wake_qpc = ticks.back().wake_qpc + static_cast<uint64_t>(ms * 10'000.0);
    s.hold = held;
    ticks.push_back(s);
  }
  const OverlayInput overlay{&ticks, 4.0, 10'000'000};
  ASSERT_EQ(probe_.Render(texture.Get(), 64, 32, DXGI_FORMAT_B8G8R8A8_UNORM, overlay),
            PresenterProbe::RenderResult::kDrawn);
  const std::vector<uint32_t> with = read(width);
  HDC screen = GetDC(nullptr);
  const float scale = static_cast<float>(GetDeviceCaps(screen, LOGPIXELSX)) / 96.0f;
  ReleaseDC(nullptr, screen);
  std::vector<OverlayRect> rects;
  OverlayGraph::LayOut(ticks, 4.0, 10'000'000, scale, width, height, rects);
  ASSERT_EQ(rects.size(), 7u);
  const OverlayRect& panel = rects.front();
  const auto at = [&](const std::vector<uint32_t>& p, float x, float y) {
    return p[static_cast<size_t>(y) * width + static_cast<size_t>(x)];
  };
  // Outside the panel (and a pixel around it, where rasterisers round its edges) nothing moved.
  size_t changed_inside = 0;
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const size_t i = static_cast<size_t>(y) * width + x;
      const bool by_it = x + 1.0f >= panel.left && x < panel.left + panel.width + 1.0f &&
                         y + 1.0f >= panel.top && y < panel.top + panel.height + 1.0f;
      if (!by_it) {
        ASSERT_EQ(with[i], plain[i]) << "outside the overlay at " << x << "," << y;
      } else if (with[i] != plain[i]) {
        ++changed_inside;
      }
    }
  }
  EXPECT_GT(changed_inside, 0u);
  // Each bar rises to its interval: just below its top the bar's colour, just above the panel's.
  for (size_t b = 1; b <= 5; ++b) {
    const OverlayRect& bar = rects[b];
    const float x = bar.left + bar.width / 2.0f;
    if (bar.top - 2.0f > panel.top) {
      EXPECT_NE(at(with, x, bar.top + 1.0f), at(with, x, bar.top - 2.0f)) << "bar " << b;
    }
  }
  // The late bar (the third) is red over whatever the picture was there.
  const uint32_t late = at(with, rects[3].left + rects[3].width / 2.0f, rects[3].top + 2.0f);
  EXPECT_GT((late >> 16) & 0xFF, (late >> 8) & 0xFF) << std::hex << late;
  ASSERT_EQ(probe_.Render(texture.Get(), 64, 32, DXGI_FORMAT_B8G8R8A8_UNORM),
            PresenterProbe::RenderResult::kDrawn);
  EXPECT_EQ(read(width), plain) << "the overlay left something behind";

  // With the title's figures: light text on the panel under the graph.
  const std::vector<std::wstring> lines = {L"pace 60.00 fps", L"jitter p99=0.01ms"};
  OverlayText text;
  text.Update(gpu_.device.Get(), lines, scale);
  size_t text_lines = 0;
  const auto view = text.Front(text_lines);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(text_lines, 2u);
  const OverlayInput with_text{&ticks, 4.0, 10'000'000, view.Get(), text_lines};
  ASSERT_EQ(probe_.Render(texture.Get(), 64, 32, DXGI_FORMAT_B8G8R8A8_UNORM, with_text),
            PresenterProbe::RenderResult::kDrawn);
  const std::vector<uint32_t> texted = read(width);
  const OverlayRect text_panel = OverlayGraph::TextPanel(panel, 2, scale, height);
  size_t bright = 0;
  for (float y = text_panel.top; y < text_panel.top + text_panel.height; ++y) {
    for (float x = text_panel.left; x < text_panel.left + text_panel.width; ++x) {
      const uint32_t p = at(texted, x, y);
      if (((p >> 16) & 0xFF) > 0xC0 && ((p >> 8) & 0xFF) > 0xC0 && (p & 0xFF) > 0xC0) ++bright;
    }
  }
  EXPECT_GT(bright, 20u) << "no text under the graph";
}

TEST_F(RenderTest, ThePictureLandsUprightInTheViewportWithBlackBandsAndStretchFillsTheBuffers) {
  constexpr uint32_t kRed = 0xFFFF0000, kGreenQ = 0xFF00FF00, kBlue = 0xFF0000FF,
                     kWhite = 0xFFFFFFFF;
  struct Case {
    const char* what;
    uint32_t width, height;
    bool letterbox;
    float left, top, right, bottom;  // expected image rectangle in buffer pixels
    uint32_t buffer_width, buffer_height;
  };
  const Case cases[] = {
      {"wide source: bands above and below", 1920, 1080, true, 0, 218.75f, 1000, 781.25f, 1000,
       1000},
      {"tall source: bands left and right", 1080, 1920, true, 218.75f, 0, 781.25f, 1000, 1000,
       1000},
      {"square source: no bands", 500, 500, true, 0, 0, 1000, 1000, 1000, 1000},
      {"stretch: the buffers take the source's size", 300, 200, false, 0, 0, 300, 200, 300, 200},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint32_t> image(static_cast<size_t>(c.width) * c.height);
    for (uint32_t y = 0; y < c.height; ++y) {
      for (uint32_t x = 0; x < c.width; ++x) {
        const bool right = x >= c.width / 2;
        const bool bottom = y >= c.height / 2;
        image[static_cast<size_t>(y) * c.width + x] =
            bottom ? (right ? kWhite : kBlue) : (right ? kGreenQ : kRed);
      }
    }
    auto texture = MakeTexture(gpu_.device.Get(), c.width, c.height, image);
    presenter_.letterbox = c.letterbox;
    ASSERT_EQ(probe_.Render(texture.Get(), c.width, c.height, DXGI_FORMAT_B8G8R8A8_UNORM),
              PresenterProbe::RenderResult::kDrawn);
    ASSERT_EQ(probe_.BackBufferWidth(), c.buffer_width);
    ASSERT_EQ(probe_.BackBufferHeight(), c.buffer_height);
    uint32_t width = 0;
    const auto pixels = testing::ReadPixels(gpu_.device.Get(), probe_.BackBuffer(), width);
    ASSERT_EQ(pixels.size(), static_cast<size_t>(c.buffer_width) * c.buffer_height);
    const auto at = [&](float x, float y) {
      return pixels[static_cast<size_t>(y) * width + static_cast<size_t>(x)];
    };
    const float w = c.right - c.left;
    const float h = c.bottom - c.top;
    EXPECT_EQ(at(c.left + w / 4, c.top + h / 4), kRed);
    EXPECT_EQ(at(c.left + 3 * w / 4, c.top + h / 4), kGreenQ);
    EXPECT_EQ(at(c.left + w / 4, c.top + 3 * h / 4), kBlue);
    EXPECT_EQ(at(c.left + 3 * w / 4, c.top + 3 * h / 4), kWhite);
    if (c.top > 0) {
      EXPECT_EQ(at(500, c.top / 2), kBlack);
      EXPECT_EQ(at(500, (c.bottom + 1000) / 2), kBlack);
    }
    if (c.left > 0) {
      EXPECT_EQ(at(c.left / 2, 500), kBlack);
      EXPECT_EQ(at((c.right + 1000) / 2, 500), kBlack);
    }
  }
}

// A 2 x 1 checker (black, white) magnified to 1000 pixels wide: the linear filter ramps from
// black at the centre of the first texel (x = 250) to white at the centre of the second
// (x = 750), clamped outside. Point filtering would jump from black to white at x = 500.
TEST_F(RenderTest, MagnificationIsLinearlyFilteredAndClampedAtTheEdges) {
  auto texture = MakeTexture(gpu_.device.Get(), 2, 1, {kBlack, 0xFFFFFFFF});
  presenter_.letterbox = true;
  ASSERT_EQ(probe_.Render(texture.Get(), 2, 1, DXGI_FORMAT_B8G8R8A8_UNORM),
            PresenterProbe::RenderResult::kDrawn);
  uint32_t width = 0;
  const auto pixels = testing::ReadPixels(gpu_.device.Get(), probe_.BackBuffer(), width);
  ASSERT_EQ(pixels.size(), 1000u * 1000u);
  const auto grey = [&](uint32_t x) { return Channel(pixels[500 * width + x], 8); };
  struct Expect {
    uint32_t x;
    int level;  // 0..255, within 3
  };
  for (const Expect& e : {Expect{10, 0}, Expect{249, 0}, Expect{375, 64}, Expect{500, 128},
                          Expect{625, 191}, Expect{751, 255}, Expect{990, 255}}) {
    EXPECT_NEAR(grey(e.x), e.level, 3) << "x " << e.x;
  }
  for (uint32_t x = 251; x < 750; ++x) ASSERT_LE(grey(x - 1), grey(x)) << "ramp not monotone";
}

// The same four bytes (0x20, 0x80, 0xC0, 0xFF) in textures of each format the view rule
// remaps or must keep, drawn 1:1 into the B8G8R8A8 buffers.
TEST_F(RenderTest, EachFormatIsViewedSoThatItsColoursComeOutRight) {
  struct Case {
    DXGI_FORMAT format;
    uint32_t expected;  // the back buffer's word
    int tolerance;
  };
  const uint32_t bytes = 0xFFC08020;  // in memory: 20 80 C0 FF
  const Case cases[] = {
      {DXGI_FORMAT_B8G8R8A8_UNORM, 0xFFC08020, 1},
      // Typeless, viewed as B8G8R8A8_UNORM.
      {DXGI_FORMAT_B8G8R8A8_TYPELESS, 0xFFC08020, 1},
      // Viewed as sRGB, so sampling linearises: 0x20 -> 4, 0x80 -> 55, 0xC0 -> 134.
      {DXGI_FORMAT_B8G8R8A8_UNORM_SRGB, 0xFF863704, 2},
      // R8G8B8A8: the bytes are red, green, blue, so the buffer gets them the other way round.
      {DXGI_FORMAT_R8G8B8A8_UNORM, 0xFF2080C0, 1},
  };
  presenter_.letterbox = false;
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.format));
    auto texture = MakeTexture(gpu_.device.Get(), 4, 4, std::vector<uint32_t>(16, bytes), c.format);
    ASSERT_NE(texture, nullptr);
    ASSERT_EQ(probe_.Render(texture.Get(), 4, 4, c.format), PresenterProbe::RenderResult::kDrawn);
    const uint32_t pixel = testing::ReadFirstPixel(gpu_.device.Get(), probe_.BackBuffer());
    EXPECT_TRUE(Near(pixel, c.expected, c.tolerance))
        << std::hex << pixel << " instead of " << c.expected;
  }
}

// Sync interval and tearing flag for each vsync state, with and without tearing support (the
// platform here always reports support, so the unsupported case is forced on the device).
TEST_F(RenderTest, PresentsWithTheSyncIntervalAndTearingFlagOfEachMode) {
  struct Case {
    bool tearing_supported;
    uint32_t sync_interval;
    uint32_t present_flags;
    uint32_t swap_chain_flags;
  };
  const Case cases[] = {
      {true, 1, 0, DXGI_SWAP_CHAIN_FLAG_ALLOW_TEARING},
      {true, 0, DXGI_PRESENT_ALLOW_TEARING, DXGI_SWAP_CHAIN_FLAG_ALLOW_TEARING},
      {false, 1, 0, 0},
      {false, 0, 0, 0},
  };
  const bool supported = gpu_.tearingSupported;
  presenter_.Release();
  auto texture = SolidTexture(gpu_.device.Get(), 64, 64, kGreen);
  slot_.Publish(texture.Get(), 64, 64, DXGI_FORMAT_B8G8R8A8_UNORM);
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "tearing " << c.tearing_supported << ", sync " << c.sync_interval);
    if (c.tearing_supported && !supported) continue;
    gpu_.tearingSupported = c.tearing_supported;
    Presenter presenter;
    ASSERT_TRUE(presenter.Initialize(&gpu_, window_.hwnd));
    // Wine's GetDesc1 drops the flags, so the presenter's own record of them is checked.
    EXPECT_EQ(PresenterProbe(presenter).SwapChainFlags(), c.swap_chain_flags);
    PresentStage stage;
    stage.Bind(&presenter, &slot_);
    for (bool with_frame : {true, false}) {
      if (with_frame) {
        OutputFrame frame;
        EXPECT_EQ(stage.PresentNewest(c.sync_interval, frame), PresentOutcome::kMade);
      } else {
        presenter.PresentBlank(c.sync_interval);
      }
      const PresenterProbe::PresentCall call = PresenterProbe(presenter).LastPresent();
      EXPECT_EQ(call.count, with_frame ? 1u : 2u);
      EXPECT_EQ(call.sync_interval, c.sync_interval);
      EXPECT_EQ(call.flags, c.present_flags);
    }
    presenter.Release();
  }
  gpu_.tearingSupported = supported;
}

// The display side through the program's tick path and a swap chain that presents for real but
// answers the statistics from a model display: each present's id, its refresh and screen time,
// the refreshes it stayed and one late present, from the presenter through the tracker to the
// rows of the display log.
TEST_F(RenderTest, PresentsAreFollowedToTheScreenAndIntoTheDisplayLog) {
  const uint64_t period = base::QpcFrequency() / 60;
  testing::FakeDisplaySwapChain display(probe_.SwapChain(), period);
  display.late_presents = {7};
  probe_.UseSwapChain(&display);
  auto texture = SolidTexture(gpu_.device.Get(), 64, 64, kGreen);
  for (uint64_t tick = 0; tick < 12; ++tick) {
    slot_.Publish(texture.Get(), 64, 64, DXGI_FORMAT_B8G8R8A8_UNORM, base::QpcNow());
    ASSERT_TRUE(Tick(1).frame_counted);
    Sleep(20);
  }
  Sleep(100);  // the last presents reach the screen
  FrameStatistics statistics;
  tracker_.OnStatistics(presenter_.ReadStatistics(statistics), statistics);

  std::istringstream csv(
      FormatDisplayLog(stats_.Window(), tracker_.Records(), base::QpcFrequency()));
  std::string line;
  std::getline(csv, line);
  size_t shown = 0;
  bool previous_placed = false;
  uint64_t previous_refresh = 0;
  std::string previous_stayed;
  for (uint64_t tick = 0; std::getline(csv, line); ++tick) {
    SCOPED_TRACE(line);
    std::vector<std::string> f;
    std::istringstream row(line.substr(0, line.size() - 1));
    for (std::string field; std::getline(row, field, ',');) f.push_back(field);
    f.resize(9);
    EXPECT_EQ(f[4], std::to_string(tick + 1));  // the present id
    EXPECT_GE(std::stod(f[3]), 0.0);            // the frame's age at present
    // A present that left the queue where no sample can say when (before the first, or two
    // between samples over more refreshes than presents) is left unplaced, never guessed.
    if (f[8] == "unplaced") {
      EXPECT_EQ(f[5], "");
      previous_placed = false;
      continue;
    }
    const uint64_t refresh = display.Refreshes()[tick];
    // Late is said only on evidence: with the image before placed.
    EXPECT_EQ(f[8], tick + 1 == 7 && previous_placed ? "late" : "shown");
    // Its screen time; the first sample gives no refresh period yet, so a present it places
    // behind its blank has none.
    if (shown > 0 || !f[5].empty()) {
      EXPECT_EQ(f[5], std::to_string(refresh * period));
    }
    // The image before stayed until this one came.
    if (previous_placed) {
      EXPECT_EQ(previous_stayed, std::to_string(refresh - previous_refresh));
    }
    previous_placed = true;
    previous_refresh = refresh;
    previous_stayed = f[7];
    ++shown;
  }
  EXPECT_GE(shown, 8u);
  presenter_.Release();  // lets go of the fake before it goes
}

// Waitable where the platform has IDXGISwapChain2 (Windows 8.1 on), the usual swap chain where
// it has not (Wine 8): either way the flags it is resized with say which, and it presents.
TEST_F(RenderTest, OneFrameLatencyIsWaitableOrFallsBackToTheUsualSwapChain) {
  presenter_.Release();
  Presenter presenter;
  ASSERT_TRUE(presenter.Initialize(&gpu_, window_.hwnd, true));
  const bool waitable = (PresenterProbe(presenter).SwapChainFlags() &
                         DXGI_SWAP_CHAIN_FLAG_FRAME_LATENCY_WAITABLE_OBJECT) != 0;
  EXPECT_EQ(waitable, presenter.LatencyWaitable());
  auto texture = SolidTexture(gpu_.device.Get(), 64, 64, kGreen);
  slot_.Publish(texture.Get(), 64, 64, DXGI_FORMAT_B8G8R8A8_UNORM);
  PresentStage stage;
  stage.Bind(&presenter, &slot_);
  for (int i = 0; i < 3; ++i) {
    OutputFrame frame;
    EXPECT_EQ(stage.PresentNewest(1, frame), PresentOutcome::kMade);
    EXPECT_TRUE(frame.taken);
  }
  presenter.Release();
}

TEST_F(RenderTest, ReleaseIsSafeTwiceAndOnAnEmptyPresenter) {
  presenter_.Release();
  presenter_.Release();
  EXPECT_EQ(probe_.SwapChain(), nullptr);
  Presenter empty;
  empty.Release();
  auto texture = SolidTexture(gpu_.device.Get(), 8, 8, kGreen);
  EXPECT_EQ(empty.Draw(texture.Get(), 8, 8, DXGI_FORMAT_B8G8R8A8_UNORM, 0),
            Presenter::DrawResult::kFailed);
  empty.PresentBlank(0);
}

}  // namespace
}  // namespace tsl

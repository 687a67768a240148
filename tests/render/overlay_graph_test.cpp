#include "render/overlay_graph.h"

#include <gtest/gtest.h>

#include <vector>

namespace tsl {
namespace {

constexpr uint64_t kFrequency = 10'000'000;

// Ticks woken at these intervals (ms) after the first, held or not.
std::vector<PaceSample> Ticks(const std::vector<std::pair<double, bool>>& intervals) {
  std::vector<PaceSample> samples(1);
  samples[0].wake_qpc = 1'000'000;
  for (const auto& [ms, held] : intervals) {
    PaceSample s;
    s.wake_qpc = samples.back().wake_qpc + static_cast<uint64_t>(ms * 10'000.0);
    s.hold = held;
    samples.push_back(s);
  }
  return samples;
}

TEST(OverlayGraphTest, BarsFollowTheIntervalsOnATwiceTheTargetScale) {
  const auto samples =
      Ticks({{16.6667, false}, {33.3333, false}, {16.6667, true}, {8.3333, false}, {100.0, true}});
  for (const float scale : {1.0f, 2.0f}) {
    SCOPED_TRACE(scale);
    std::vector<OverlayRect> rects;
    OverlayGraph::LayOut(samples, 16.6667, kFrequency, scale, 1920, 1080, rects);
    ASSERT_EQ(rects.size(), 1u + 5 + 1);  // the panel, a bar per interval, the target line
    const OverlayRect& panel = rects.front();
    EXPECT_FLOAT_EQ(panel.left, 8 * scale);
    EXPECT_FLOAT_EQ(panel.width, 480 * scale);
    EXPECT_FLOAT_EQ(panel.height, 80 * scale);
    const float bottom = panel.top + panel.height;
    struct Bar {
      float height;  // at 96 dpi
      float red;     // the colour's red: new 0.25, held 0.6, late 0.95
    };
    const Bar bars[] = {{40, 0.25f}, {80, 0.95f}, {40, 0.6f}, {20, 0.25f}, {80, 0.95f}};
    for (size_t i = 0; i < 5; ++i) {
      const OverlayRect& r = rects[1 + i];
      EXPECT_NEAR(r.height, bars[i].height * scale, 0.01f) << i;
      EXPECT_NEAR(r.top + r.height, bottom, 0.01f) << i;
      EXPECT_FLOAT_EQ(r.rgba[0], bars[i].red) << i;
      EXPECT_FLOAT_EQ(r.width, 2 * scale);
      // Right-aligned, the newest at the panel's right edge.
      EXPECT_FLOAT_EQ(r.left, panel.left + panel.width - static_cast<float>(5 - i) * 2 * scale);
    }
    EXPECT_NEAR(rects.back().top + rects.back().height / 2, panel.top + 40 * scale, 0.01f);
  }
  // A buffer too small for a panel gets none; one narrower than the graph gets it cut.
  std::vector<OverlayRect> rects;
  OverlayGraph::LayOut(samples, 16.6667, kFrequency, 1.0f, 10, 10, rects);
  EXPECT_TRUE(rects.empty());
  OverlayGraph::LayOut(samples, 16.6667, kFrequency, 1.0f, 20, 200, rects);
  ASSERT_EQ(rects.size(), 1u + 2 + 1);  // four pixels wide: the two newest intervals
  EXPECT_NEAR(rects[2].height, 80.0f, 0.01f);
}

// Marks for the refreshes each frame stayed on the screen, at the frame's first tick: a held
// re-present adds to its frame; a frame with a present not placed, the frame the records begin
// in the middle of, and blanks get none; the length stops at four refreshes.
TEST(OverlayGraphTest, MarksHangFromTheTopForTheRefreshesEachFrameStayedOnTheScreen) {
  auto samples = Ticks(
      {{16.6667, false}, {16.6667, true}, {16.6667, false}, {16.6667, false}, {16.6667, false}});
  for (uint64_t i = 0; i < samples.size(); ++i) samples[i].tick = 10 + i;
  struct Present {
    uint64_t tick, seen;
    DisplayState state;
    uint32_t refreshes;
  };
  const Present made[] = {
      {10, 100, DisplayState::kShown, 1},    {11, 200, DisplayState::kShown, 2},
      {12, 200, DisplayState::kLate, 1},     {13, 0, DisplayState::kShown, 1},
      {14, 300, DisplayState::kUnplaced, 0}, {15, 400, DisplayState::kShown, 9}};
  std::vector<DisplayRecord> presents;
  for (const Present& p : made) {
    DisplayRecord r;
    r.tick = p.tick;
    r.seen_qpc = p.seen;
    r.state = p.state;
    r.refreshes_on_screen = p.refreshes;
    presents.push_back(r);
  }
  std::vector<OverlayRect> rects;
  OverlayGraph::LayOut(samples, 16.6667, kFrequency, 2.0f, 1920, 1080, rects, &presents);
  ASSERT_EQ(rects.size(), 1u + 5 + 2 + 1);
  const OverlayRect& panel = rects.front();
  const struct {
    size_t bar;    // the tick's bar, 1 for tick 11
    float length;  // at 96 dpi
  } marks[] = {{1, 12.0f}, {5, 16.0f}};
  for (size_t m = 0; m < 2; ++m) {
    const OverlayRect& r = rects[6 + m];
    EXPECT_FLOAT_EQ(r.left, rects[marks[m].bar].left) << m;
    EXPECT_FLOAT_EQ(r.top, panel.top) << m;
    EXPECT_FLOAT_EQ(r.height, marks[m].length * 2.0f) << m;
  }
}

// Premultiplied BGRA from white-on-black coverage: bare panel (0.6 alpha), full text (opaque
// 0.92 grey), half-covered grey and sub-pixel edges (the brightest channel counts), and the
// alpha byte of the drawn text, which the system leaves unset, ignored.
TEST(OverlayGraphTest, TextPanelPixelsBlendTheTextOverThePanelByCoverage) {
  const uint32_t drawn[] = {0x00000000, 0xFFFFFFFF, 0x00808080, 0x00FF0000, 0xAB000000};
  const uint32_t expected[] = {0xD907070B, 0xFFEBEBEB, 0xEC79797B, 0xFFEBEBEB, 0xD907070B};
  uint32_t out[5] = {};
  OverlayGraph::TextPanelPixels(drawn, 5, out);
  for (size_t i = 0; i < 5; ++i) EXPECT_EQ(out[i], expected[i]) << std::hex << drawn[i];
}

}  // namespace
}  // namespace tsl

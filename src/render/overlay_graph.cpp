#include "render/overlay_graph.h"

#include <algorithm>

#include "base/qpc.h"

namespace tsl {

namespace {
constexpr float kMargin = 8.0f;  // from the buffer's corner, at 96 dpi
constexpr float kBarWidth = 2.0f;
constexpr float kHeight = 80.0f;
constexpr double kLateFactor = 1.5;
constexpr float kNew[4] = {0.25f, 0.85f, 0.35f, 0.9f};
constexpr float kHeld[4] = {0.6f, 0.6f, 0.6f, 0.9f};
constexpr float kLate[4] = {0.95f, 0.2f, 0.2f, 0.95f};
constexpr float kTarget[4] = {1.0f, 1.0f, 1.0f, 0.8f};
constexpr float kGlass[4] = {0.35f, 0.7f, 1.0f, 0.9f};
constexpr float kGlassStep = 4.0f;  // a mark's length per refresh, at 96 dpi
constexpr uint32_t kGlassMost = 4;

// A frame's first tick and the refreshes it stayed on the screen.
struct FrameOnGlass {
  uint64_t first_tick;
  uint32_t refreshes;
};

// The frames whose time on the screen is known from every one of their presents: consecutive
// records of the same frame (the same moment seen) add up; a frame any of whose presents is not
// placed, or whose first present is not in the records, has no mark.
void FramesOnGlass(const std::vector<DisplayRecord>& presents, std::vector<FrameOnGlass>& out) {
  out.clear();
  bool known = false;
  bool first = true;
  uint64_t seen = 0;
  for (const DisplayRecord& r : presents) {
    const bool placed = (r.state == DisplayState::kShown || r.state == DisplayState::kLate) &&
                        r.refreshes_on_screen > 0;
    if (!first && r.seen_qpc != 0 && r.seen_qpc == seen) {
      if (known && placed) {
        out.back().refreshes += r.refreshes_on_screen;
      } else if (known) {
        out.pop_back();
        known = false;
      }
      continue;
    }
    const bool whole = !first;  // the records may begin in the middle of a frame
    first = false;
    seen = r.seen_qpc;
    known = whole && r.seen_qpc != 0 && placed;
    if (known) out.push_back({r.tick, r.refreshes_on_screen});
  }
}

OverlayRect Rect(float left, float top, float width, float height, const float (&rgba)[4]) {
  OverlayRect r;
  r.left = left;
  r.top = top;
  r.width = width;
  r.height = height;
  std::copy(rgba, rgba + 4, r.rgba);
  return r;
}
}  // namespace

OverlayRect OverlayGraph::TextPanel(const OverlayRect& graph_panel, size_t lines, float scale,
                                    uint32_t buffer_height) {
  const float top = graph_panel.top + graph_panel.height + 2.0f * scale;
  const float wanted = kLineHeight * scale * static_cast<float>(lines) + 4.0f * scale;
  const float room = static_cast<float>(buffer_height) - top;
  return Rect(graph_panel.left, top, graph_panel.width, std::max(0.0f, std::min(wanted, room)),
              OverlayGraph::kPanelColour);
}

void OverlayGraph::LayOut(const std::vector<PaceSample>& samples, double target_interval_ms,
                          uint64_t qpc_frequency, float scale, uint32_t buffer_width,
                          uint32_t buffer_height, std::vector<OverlayRect>& rects,
                          const std::vector<DisplayRecord>* presents) {
  rects.clear();
  if (buffer_width == 0 || buffer_height == 0 || !(scale > 0.0f) || qpc_frequency == 0) return;
  const float margin = kMargin * scale;
  const float bar = kBarWidth * scale;
  const float width = std::min(kWidth * scale, static_cast<float>(buffer_width) - 2 * margin);
  const float height = std::min(kHeight * scale, static_cast<float>(buffer_height) - 2 * margin);
  if (width <= 0.0f || height <= 0.0f) return;
  rects.push_back(Rect(margin, margin, width, height, OverlayGraph::kPanelColour));
  const auto slots = static_cast<size_t>(width / bar);
  const double top_ms = 2.0 * target_interval_ms;
  // The newest intervals that fit, right-aligned: the newest tick at the right edge.
  const size_t intervals = samples.size() > 1 ? samples.size() - 1 : 0;
  const size_t shown = std::min(intervals, slots);
  for (size_t i = 0; i < shown; ++i) {
    const PaceSample& before = samples[samples.size() - shown - 1 + i];
    const PaceSample& tick = samples[samples.size() - shown + i];
    const double ms = base::QpcDeltaMs(before.wake_qpc, tick.wake_qpc, qpc_frequency);
    const double share = top_ms > 0.0 ? std::clamp(ms / top_ms, 0.0, 1.0) : 1.0;
    const auto h = static_cast<float>(share) * height;
    const bool late = target_interval_ms > 0.0 && ms > kLateFactor * target_interval_ms;
    const float left = margin + width - static_cast<float>(shown - i) * bar;
    rects.push_back(Rect(left, margin + height - h, bar, h,
                         late        ? kLate
                         : tick.hold ? kHeld
                                     : kNew));
  }
  if (presents != nullptr && shown > 0) {
    // Laid out on the pace thread every tick: its storage is kept, not allocated each time.
    static thread_local std::vector<FrameOnGlass> frames;
    FramesOnGlass(*presents, frames);
    auto frame = frames.begin();
    for (size_t i = 0; i < shown && frame != frames.end(); ++i) {
      const uint64_t tick = samples[samples.size() - shown + i].tick;
      while (frame != frames.end() && frame->first_tick < tick) ++frame;
      if (frame == frames.end() || frame->first_tick != tick) continue;
      const float left = margin + width - static_cast<float>(shown - i) * bar;
      const float length =
          static_cast<float>(std::min(frame->refreshes, kGlassMost)) * kGlassStep * scale;
      rects.push_back(Rect(left, margin, bar, std::min(length, height), kGlass));
    }
  }
  rects.push_back(
      Rect(margin, margin + height / 2.0f - scale / 2.0f, width, std::max(1.0f, scale), kTarget));
}

void OverlayGraph::TextPanelPixels(const uint32_t* white_on_black, size_t count, uint32_t* bgra) {
  const float* panel = kTextPanelColour;
  const float* text = kTextColour;
  const auto byte = [](float v) {
    return static_cast<uint32_t>(std::clamp(v, 0.0f, 1.0f) * 255.0f + 0.5f);
  };
  for (size_t i = 0; i < count; ++i) {
    const uint32_t p = white_on_black[i];
    // The brightest channel: grey edges have three equal ones, sub-pixel edges do not.
    const uint32_t most = std::max({p & 0xFFu, (p >> 8) & 0xFFu, (p >> 16) & 0xFFu});
    const float c = static_cast<float>(most) / 255.0f;
    const float under = panel[3] * (1.0f - c);
    const float over = text[3] * c;
    bgra[i] = byte(panel[2] * under + text[2] * over) |
              byte(panel[1] * under + text[1] * over) << 8 |
              byte(panel[0] * under + text[0] * over) << 16 | byte(under + over) << 24;
  }
}

}  // namespace tsl

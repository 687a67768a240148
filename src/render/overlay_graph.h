#pragma once

#include <cstdint>
#include <vector>

#include "measure/display_vocabulary.h"
#include "measure/pace_stats.h"

namespace tsl {

// A rectangle of the overlay in back-buffer pixels, and its colour (straight alpha, 0 to 1).
struct OverlayRect {
  float left = 0.0f;
  float top = 0.0f;
  float width = 0.0f;
  float height = 0.0f;
  float rgba[4] = {0.0f, 0.0f, 0.0f, 0.0f};
};

// The on-screen graph of the recent ticks, laid out in the top-left corner of a back buffer:
// - a dark, semi-transparent panel;
// - a bar for each tick interval (wake to wake), oldest at the left, its height the interval on a
//   scale whose top is twice the target interval (longer ones are drawn to the top);
// - the bar's colour says what the tick was: green presented a new frame, grey held the one
//   before, red was late (an interval over 1.5 x the target: a missed or slipped tick);
// - where the display side is measured, a blue mark hanging from the panel's top at each
//   frame's first tick: its length the refreshes the frame stayed on the screen (4 px each, 4 at
//   most), so an even cadence is an even row of marks;
// - a white line at the target interval.
// Everything is `scale` times its size at 96 dpi (a bar 2 px wide, the panel 80 px high), and
// cut to the buffer. Portable: the presenter draws what this lays out.
class OverlayGraph {
 public:
  static constexpr size_t kBars = 240;         // four seconds at 60 ticks/s
  static constexpr float kWidth = 480.0f;      // the panels', at 96 dpi: a bar 2 px wide each
  static constexpr float kLineHeight = 14.0f;  // a line of text, at 96 dpi
  static constexpr float kPanelColour[4] = {0.05f, 0.05f, 0.08f, 0.6f};
  static constexpr float kTextColour[4] = {0.92f, 0.92f, 0.92f, 1.0f};
  // Under the text: darker than the graph's panel, so the text reads over a white picture too.
  static constexpr float kTextPanelColour[4] = {0.03f, 0.03f, 0.05f, 0.85f};

  // The rectangles for `samples` (oldest first) against a target interval, into `rects` (its
  // storage reused): the panel first, then the bars, the marks, and the target line last;
  // nothing when the buffer is empty. `presents` (oldest first, may be null) are the tracker's
  // records of the same ticks.
  static void LayOut(const std::vector<PaceSample>& samples, double target_interval_ms,
                     uint64_t qpc_frequency, float scale, uint32_t buffer_width,
                     uint32_t buffer_height, std::vector<OverlayRect>& rects,
                     const std::vector<DisplayRecord>* presents = nullptr);
  // The panel under the graph's (`graph_panel`, the first rectangle LayOut gives) for `lines`
  // lines of text, cut to the buffer; its text starts a small inset from its top-left corner.
  static OverlayRect TextPanel(const OverlayRect& graph_panel, size_t lines, float scale,
                               uint32_t buffer_height);
  // The text panel's pixels from its text drawn white on black (BGRX, the grey of an edge its
  // coverage): the panel's colour where nothing is drawn, the text's where a pixel is wholly
  // covered, blended between; BGRA with premultiplied alpha, as the presenter blends them.
  static void TextPanelPixels(const uint32_t* white_on_black, size_t count, uint32_t* bgra);
};

}  // namespace tsl

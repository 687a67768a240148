#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "measure/pace_stats.h"
#include "pacing/pace_controller.h"

namespace tsl {

// The short name the title gives a DXGI_FORMAT code ("other" for codes it does not list).
const char* PixelFormatName(int32_t format);

// Everything the status title shows.
struct TitleFigures {
  std::wstring adapter;
  std::string sender;  // 8-bit name; each byte becomes the UTF-16 unit of the same value
  double measured_fps = 0.0;
  PaceSnapshot pace;
  uint64_t repeated = 0;
  uint64_t presented = 0;
  uint64_t missed = 0;
  uint64_t received = 0;
  bool connected = false;
  int32_t senders = 0;
  int32_t format = 0;
  bool vsync = true;
  int32_t monitor = 0;
  // The pace thread's mode, shown as "cadence 2 @ 143.98 Hz (statistics, smooth)" (locked),
  // "cadence every refresh", "cadence every refresh (no display clock)", "cadence timer".
  CadenceMode cadence = CadenceMode::kEveryRefresh;
  std::string pattern;            // kLocked: "2", "2-3"
  double refresh_hz = 0.0;        // kLocked: the display clock's rate
  const char* clock_source = "";  // kLocked: where the clock came from
  bool smooth = false;            // kLocked: two frames in flight (--latency 2)
  bool above_refresh = false;     // kLocked: --fps is above the refresh rate
  // The overlay only (the title has no room): how old the recent source frames were when first
  // presented, over `aged_frames` frames (0: not known).
  size_t aged_frames = 0;
  double frame_age_p50_ms = 0.0;
  double frame_age_p99_ms = 0.0;
  // The overlay only: the source has more than 8 bits a channel and is dithered to the back
  // buffer's 8 (said after its format).
  bool dithered = false;
  // The overlay only: a passing notice shown as its first line (empty: none).
  std::wstring notice;
};

// The window title, cut to 1,023 units (the title buffer holds 1,024 with its terminator).
std::wstring FormatTitle(const TitleFigures& f);

// The title's figures for the overlay, a line each (its key list left out), with the frame age
// after recv, the dither after the format, and a notice first.
std::vector<std::wstring> OverlayLines(const TitleFigures& f);

// Each byte widened to the UTF-16 unit of the same value; "(none)" for an empty name.
std::wstring WidenSenderName(const std::string& name);

}  // namespace tsl

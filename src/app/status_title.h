#pragma once

#include <cstdint>
#include <string>

#include "pacing/pace_stats.h"

namespace tsl {

// The short name the title gives a DXGI_FORMAT code ("other" for codes it does not list).
const wchar_t* PixelFormatName(int32_t format);

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
};

// The window title, cut to 1,023 units (the title buffer holds 1,024 with its terminator).
std::wstring FormatTitle(const TitleFigures& f);

// Each byte widened to the UTF-16 unit of the same value; "(none)" for an empty name.
std::wstring WidenSenderName(const std::string& name);

}  // namespace tsl

#include "window/monitor_order.h"

#include <cstdio>
#include <cwctype>

#include "base/utf8.h"

namespace tsl {

namespace {

bool StartsIgnoringCase(const std::wstring& text, const std::wstring& start) {
  if (start.size() > text.size()) return false;
  for (size_t i = 0; i < start.size(); ++i) {
    if (std::towlower(text[i]) != std::towlower(start[i])) return false;
  }
  return true;
}

}  // namespace

std::string MonitorLine(int32_t index, const std::wstring& name, uint32_t width, uint32_t height,
                        double refresh_hz, bool primary) {
  // Names are ASCII in practice; anything else shows as "?" rather than as broken bytes.
  const std::string narrow = base::PrintableAscii(name, true);
  char rate[32] = "refresh unknown";
  if (refresh_hz > 0.0) std::snprintf(rate, sizeof rate, "@ %.3f Hz", refresh_hz);
  char line[320];
  std::snprintf(line, sizeof line, "%d \"%s\" %ux%u %s%s\n", static_cast<int>(index),
                narrow.c_str(), static_cast<unsigned>(width), static_cast<unsigned>(height), rate,
                primary ? " primary" : "");
  return line;
}

int32_t MonitorByName(const std::vector<std::wstring>& names, const std::wstring& wanted,
                      bool& ambiguous) {
  ambiguous = false;
  if (wanted.empty()) return -1;
  int32_t prefixed = -1;
  int prefixes = 0;
  for (size_t i = 0; i < names.size(); ++i) {
    if (!StartsIgnoringCase(names[i], wanted)) continue;
    if (names[i].size() == wanted.size()) return static_cast<int32_t>(i);  // the whole name
    prefixed = static_cast<int32_t>(i);
    ++prefixes;
  }
  ambiguous = prefixes > 1;
  return prefixes == 1 ? prefixed : -1;
}

}  // namespace tsl

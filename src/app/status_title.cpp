#include "app/status_title.h"

#include <cstring>
#include <cwchar>
#include <iterator>
#include <vector>

#include "weft/weft_protocol.h"

namespace tsl {

namespace {
constexpr size_t kTitleUnits = 1024;
}  // namespace

const char* PixelFormatName(int32_t format) {
  if (format == 0) return "unknown";
  constexpr size_t kTitled = std::size(weft::kNamedFormats) - weft::kUntitledFormats;
  for (size_t i = 0; i < kTitled; ++i) {
    if (static_cast<int64_t>(weft::kNamedFormats[i].format) == format) {
      return weft::kNamedFormats[i].name;
    }
  }
  return "other";
}

std::wstring WidenSenderName(const std::string& name) {
  if (name.empty()) return L"(none)";
  std::wstring wide;
  wide.reserve(name.size());
  for (char c : name) wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
  return wide;
}

namespace {

std::wstring CadenceText(const TitleFigures& f) {
  switch (f.cadence) {
    case CadenceMode::kLocked: {
      wchar_t text[160];
      const std::wstring pattern(f.pattern.begin(), f.pattern.end());
      const std::string source_narrow(f.clock_source);
      const std::wstring source(source_narrow.begin(), source_narrow.end());
      std::swprintf(text, 160, L"cadence %ls @ %.2f Hz (%ls%ls%ls)", pattern.c_str(), f.refresh_hz,
                    source.c_str(), f.smooth ? L", smooth" : L"",
                    f.above_refresh ? L", fps above refresh" : L"");
      return text;
    }
    case CadenceMode::kNoClock:
      return L"cadence every refresh (no display clock)";
    case CadenceMode::kTimer:
      return L"cadence timer";
    case CadenceMode::kEveryRefresh:
      break;
  }
  return L"cadence every refresh";
}

}  // namespace

std::vector<std::wstring> OverlayLines(const TitleFigures& f) {
  // The title's fields, the same figures in the same words, between its separators.
  std::wstring title = FormatTitle(f);
  const size_t keys = title.rfind(L"  [");
  if (keys != std::wstring::npos) title.resize(keys);
  std::vector<std::wstring> fields;
  for (size_t start = 0; start <= title.size();) {
    const size_t bar = title.find(L"  |  ", start);
    fields.push_back(title.substr(start, bar == std::wstring::npos ? bar : bar - start));
    if (bar == std::wstring::npos) break;
    start = bar + 5;
  }
  // "Tessaline" and the adapter say nothing about the pacing; the rest a line each.
  std::vector<std::wstring> lines;
  if (!f.notice.empty()) lines.push_back(f.notice);
  for (size_t i = 2; i < fields.size(); ++i) {
    lines.push_back(fields[i]);
    if (f.dithered && fields[i].rfind(L"fmt ", 0) == 0) lines.back() += L", dithered to 8 bits";
    if (fields[i].rfind(L"recv ", 0) != 0) continue;
    wchar_t age[96] = L"frame age -";
    if (f.aged_frames > 0) {
      std::swprintf(age, sizeof age / sizeof age[0], L"frame age p50=%.2fms p99=%.2fms",
                    f.frame_age_p50_ms, f.frame_age_p99_ms);
    }
    lines.emplace_back(age);
  }
  return lines;
}

std::wstring FormatTitle(const TitleFigures& f) {
  // Every string conversion is %ls, which means a wide string in every C runtime.
  static const wchar_t kFormat[] =
      L"Tessaline  |  GPU: %ls  |  src \"%ls\"  |  pace %.2f fps  |  jitter p99=%.2fms "
      L"max=%.2fms  |  interval [%.2f..%.2f]ms \u03C3=%.3fms  |  cb p99=%.2fms  |  hold %.0f%% "
      L"(%llu / %llu)  |  missed %llu  |  recv %llu  |  %ls (%d avail)  |  fmt %ls  |  vsync %ls"
      L"  |  mon%d  |  %ls  [F11=fs F12=mon V=vsync P=dump-csv ESC=exit]";
  const std::wstring sender = WidenSenderName(f.sender);
  const std::wstring cadence = CadenceText(f);
  const char* format = PixelFormatName(f.format);
  const std::wstring format_name(format, format + std::strlen(format));  // ASCII
  // Large enough for any figures; the result is then cut like the program's 1,024-unit buffer.
  std::vector<wchar_t> buffer(8192);
  const int n = std::swprintf(
      buffer.data(), buffer.size(), kFormat, f.adapter.c_str(), sender.c_str(), f.measured_fps,
      f.pace.jitter_p99_ms, f.pace.jitter_max_ms, f.pace.interval_min_ms, f.pace.interval_max_ms,
      f.pace.interval_stddev_ms, f.pace.cb_p99_ms, f.pace.hold_ratio * 100.0,
      static_cast<unsigned long long>(f.repeated), static_cast<unsigned long long>(f.presented),
      static_cast<unsigned long long>(f.missed), static_cast<unsigned long long>(f.received),
      f.connected ? L"connected" : L"NO SOURCE", static_cast<int>(f.senders), format_name.c_str(),
      f.vsync ? L"on" : L"off", static_cast<int>(f.monitor), cadence.c_str());
  if (n < 0) return std::wstring();
  std::wstring title(buffer.data(), static_cast<size_t>(n));
  if (title.size() > kTitleUnits - 1) title.resize(kTitleUnits - 1);
  return title;
}

}  // namespace tsl

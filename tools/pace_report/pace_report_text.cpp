#include "pace_report/pace_report_text.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace tsl::report {

namespace {

void Append(std::string& out, const char* format, ...) {
  char line[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  out += line;
}

// 12345678 -> "12,345,678": counter frequencies are long numbers.
std::string Grouped(double value) {
  const std::string digits = std::to_string(static_cast<unsigned long long>(value + 0.5));
  std::string grouped;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

}  // namespace

std::vector<Figure> Figures(const PaceReportSummary& s) {
  const Distribution& d = s.interval_ms;
  return {
      {"ticks", "", static_cast<double>(s.ticks), 0},
      {"duration", "s", s.duration_s, 2},
      {"tick rate", "ticks/s", s.rate, 2},
      {"interval mean", "ms", d.mean, 3},
      {"interval \xCF\x83", "ms", d.stddev, 3},
      {"interval min", "ms", d.min, 3},
      {"interval p1", "ms", d.p1, 3},
      {"interval p50", "ms", d.p50, 3},
      {"interval p99", "ms", d.p99, 3},
      {"interval p99.9", "ms", d.p999, 3},
      {"interval max", "ms", d.max, 3},
      {"1% low", "ticks/s", s.low_1.rate, 2},
      {"0.1% low", "ticks/s", s.low_01.rate, 2},
      {"lateness p50", "ms", s.jitter_p50_ms, 4, !s.vsync},
      {"lateness p99", "ms", s.jitter_p99_ms, 4, !s.vsync},
      {"lateness max", "ms", s.jitter_max_ms, 4, !s.vsync},
      {"callback p99", "ms", s.cb_p99_ms, 3},
      {"callback max", "ms", s.cb_max_ms, 3},
      {"hold", "%", s.hold_percent, 1},
      {"longest hold run", "ticks", static_cast<double>(s.longest_hold_run), 0},
      {"source versions", "", static_cast<double>(s.distinct_versions), 0},
      {"resyncs", "", static_cast<double>(s.resync_ticks.size()), 0},
      {"long intervals", "", static_cast<double>(s.long_interval_ticks.size()), 0},
      {"gaps skipped", "", static_cast<double>(s.gaps), 0},
      {"frame age p50", "ms", s.display.age_present_p50_ms, 3, s.display.aged_presents > 0,
       "(no display log)"},
      {"frame age p99", "ms", s.display.age_present_p99_ms, 3, s.display.aged_presents > 0,
       "(no display log)"},
  };
}

namespace {

// The display log's lines: how old the frames were, how long they stayed, what was shown.
void FormatDisplay(std::string& out, const DisplaySummary& d) {
  if (d.aged_presents > 0) {
    Append(out,
           "  frame age ms at first present p50 %.3f  p99 %.3f  max %.3f  (%zu source frames: "
           "present done minus when the frame was seen)\n",
           d.age_present_p50_ms, d.age_present_p99_ms, d.age_present_max_ms, d.aged_presents);
  } else {
    Append(out, "  frame age ms no present with a frame in the display log\n");
  }
  if (d.aged_displays > 0) {
    Append(out,
           "               at first display p50 %.3f  p99 %.3f  max %.3f  (%zu shown: screen "
           "time minus when seen)\n",
           d.age_display_p50_ms, d.age_display_p99_ms, d.age_display_max_ms, d.aged_displays);
  }
  if (d.held_frames > 0) {
    Append(out,
           "  held ms      p50 %.3f  p99 %.3f  max %.3f  (%zu source frames: first present to "
           "the next frame's)\n",
           d.held_p50_ms, d.held_p99_ms, d.held_max_ms, d.held_frames);
  }
  if (d.display_measured) {
    Append(out,
           "  display      %zu shown (%zu late), %zu never shown, %zu unplaced; displayed interval "
           "ms p50 %.3f  p99 %.3f  max %.3f; refresh period %.3f ms\n",
           d.displayed, d.late, d.never_shown, d.unplaced, d.displayed_interval_p50_ms,
           d.displayed_interval_p99_ms, d.displayed_interval_max_ms, d.refresh_period_ms);
  } else {
    Append(out,
           "  display      not measured on this platform: it gives no frame statistics, so no "
           "present says when it reached the screen\n");
  }
  if (d.aimed > 0) {
    Append(out,
           "  aim          %zu display-locked presents: %zu reached the blank meant for them, "
           "%zu a refresh later (all of them, through a compositor), %zu later still\n",
           d.aimed, d.aimed_on_blank, d.aimed_one_late, d.aimed_later);
  }
}

// The holds, the resyncs and the long intervals (the first ticks of each listed), and the
// definitions.
void FormatHoldsAndTicks(std::string& out, const PaceReportSummary& s) {
  const Distribution& d = s.interval_ms;
  Append(out,
         "  hold         %.1f%% of ticks (%zu of %zu), longest run %zu ticks, %zu distinct "
         "source versions\n",
         s.hold_percent, s.holds, s.ticks, s.longest_hold_run, s.distinct_versions);
  const auto list_ticks = [&out](const std::vector<uint64_t>& ticks, const char* lead) {
    constexpr size_t kListed = 20;
    for (size_t i = 0; i < ticks.size() && i < kListed; ++i) {
      Append(out, "%s%llu", i == 0 ? lead : ", ", static_cast<unsigned long long>(ticks[i]));
    }
    if (ticks.size() > kListed) {
      Append(out, " and %zu more (all in the report)", ticks.size() - kListed);
    }
    out += "\n";
  };
  if (s.vsync && s.resync_ticks.empty()) {
    Append(out, "  resyncs      0 (vsync: ticks follow the display, with no schedule to re-base)");
  } else {
    Append(out,
           "  resyncs      %zu re-based schedule%s (a target that is not one period, %.3f ms, "
           "after the one before), as the title's \"missed\" counts them in timer mode",
           s.resync_ticks.size(), s.resync_ticks.size() == 1 ? "" : "s",
           static_cast<double>(s.period_counts) * 1000.0 / static_cast<double>(s.frequency.hz));
  }
  list_ticks(s.resync_ticks, ", at ticks ");
  Append(out, "  long         %zu intervals over 1.5 x the median (%.3f ms)",
         s.long_interval_ticks.size(), 1.5 * d.p50);
  list_ticks(s.long_interval_ticks, ", ending at ticks ");
  out +=
      "  definitions  intervals are wake-to-wake times; a percentile is the value at 0-based\n"
      "               position floor((m - 1) x q) of the m sorted values (as in the title);\n"
      "               a low is the tick rate over the slowest 1% (0.1%) of intervals: their\n"
      "               number, at least 1, over their total time\n";
}

}  // namespace

Verdict JudgeLog(const PaceReportSummary& s) {
  Verdict v;
  const double hz = static_cast<double>(s.frequency.hz);
  const bool scheduled = !s.vsync && s.period_counts > 0 && hz > 0.0;
  const double target_ms =
      scheduled ? static_cast<double>(s.period_counts) / hz * 1000.0 : s.interval_ms.p50;
  const double target_rate = target_ms > 0.0 ? 1000.0 / target_ms : 0.0;
  std::string pattern;
  if (s.display.has_display && s.display.refresh_period_ms > 0.0) {
    char text[96];
    std::snprintf(text, sizeof text, ", display refresh %.3f ms", s.display.refresh_period_ms);
    pattern = text;
  }
  // The display lock's ticks have their own targets, as timer ticks do: its display log says
  // which blank each present was meant for.
  const bool locked = s.display.has_display && s.display.meant > 0;
  Append(v.settings, "%s; aimed at %.3f ms a tick (%.3f ticks/s: %s)%s",
         locked    ? "vsync on, display-locked (each tick timed against a blank)"
         : s.vsync ? "vsync on (ticks follow the display)"
                   : "vsync off (ticks on a timer)",
         target_ms, target_rate,
         scheduled ? "the schedule's period" : "the median interval; the log holds no schedule",
         pattern.c_str());
  const size_t long_count = s.long_interval_ticks.size();
  const double long_share = s.intervals > 0 ? static_cast<double>(long_count) / s.intervals : 0.0;
  const bool rate_ok = target_rate > 0.0 && std::fabs(s.rate - target_rate) <= 0.01 * target_rate;
  v.even = long_share <= 0.001 && rate_ok;
  if (v.even) {
    Append(v.verdict, "even: %zu of %zu intervals over 1.5 x the median, rate %.3f ticks/s",
           long_count, s.intervals, s.rate);
    return v;
  }
  v.verdict = "uneven: ";
  if (long_share > 0.001) {
    Append(v.verdict, "%zu of %zu intervals (%.2f%%) over 1.5 x the median", long_count,
           s.intervals, 100.0 * long_share);
  }
  if (!rate_ok) {
    if (long_share > 0.001) v.verdict += "; ";
    Append(v.verdict, "rate %.3f ticks/s, %.1f%% off the aim", s.rate,
           target_rate > 0.0 ? 100.0 * (s.rate - target_rate) / target_rate : 0.0);
  }
  return v;
}

std::string FormatSummary(const std::string& name, const PaceReportSummary& s) {
  std::string out;
  const Distribution& d = s.interval_ms;
  Append(out, "pace report: %s\n", name.c_str());
  const Verdict verdict = JudgeLog(s);
  out += "  settings     " + verdict.settings + "\n";
  out += "  verdict      " + verdict.verdict + "\n";
  Append(out,
         "  counter      %s Hz, derived from the log (%zu printed jitter_ms/cb_ms values allow "
         "%s .. %s Hz; the roundest is taken)\n",
         Grouped(static_cast<double>(s.frequency.hz)).c_str(), s.frequency.values_used,
         Grouped(s.frequency.low_hz).c_str(), Grouped(s.frequency.high_hz).c_str());
  Append(out,
         "  ticks        %zu (tick %llu .. %llu) over %.3f s: %.3f ticks/s from the wake times\n",
         s.ticks, static_cast<unsigned long long>(s.first_tick),
         static_cast<unsigned long long>(s.last_tick), s.duration_s, s.rate);
  if (s.gaps > 0) {
    Append(out,
           "  gaps         %zu gap%s in the ticks skipped: no interval across %s enters a "
           "figure\n",
           s.gaps, s.gaps == 1 ? "" : "s", s.gaps == 1 ? "it" : "them");
  }
  Append(out,
         "  interval ms  mean %.3f  \xCF\x83 %.3f  min %.3f  p1 %.3f  p50 %.3f  p99 %.3f  "
         "p99.9 %.3f  max %.3f\n",
         d.mean, d.stddev, d.min, d.p1, d.p50, d.p99, d.p999, d.max);
  Append(out,
         "  lows         1%% low %.2f ticks/s (slowest %zu intervals), 0.1%% low %.2f ticks/s "
         "(slowest %zu)\n",
         s.low_1.rate, s.low_1.intervals, s.low_01.rate, s.low_01.intervals);
  if (s.vsync) {
    Append(out, "  lateness ms  %s: a tick's target is its own wake time\n", kNotMeasuredVsync);
  } else {
    Append(out,
           "  lateness ms  p50 %.4f  p99 %.4f  max %.4f  (jitter_ms: wake minus target, "
           "signed)\n",
           s.jitter_p50_ms, s.jitter_p99_ms, s.jitter_max_ms);
  }
  Append(out, "  callback ms  p99 %.3f  max %.3f  (cb_ms: wake to present done)\n", s.cb_p99_ms,
         s.cb_max_ms);
  if (s.display.has_display) FormatDisplay(out, s.display);
  FormatHoldsAndTicks(out, s);
  return out;
}

std::string FormatComparison(const std::string& first, const PaceReportSummary& a,
                             const std::string& second, const PaceReportSummary& b) {
  std::string out;
  Append(out, "comparison: A = %s, B = %s\n", first.c_str(), second.c_str());
  Append(out, "  %-22s %14s %14s %14s\n", "", "A", "B", "B - A");
  const std::vector<Figure> fa = Figures(a);
  const std::vector<Figure> fb = Figures(b);
  for (size_t i = 0; i < fa.size(); ++i) {
    std::string label = fa[i].label;
    if (fa[i].unit[0] != '\0') label += std::string(" (") + fa[i].unit + ")";
    const int p = fa[i].decimals;
    // The sigma takes two bytes but one column.
    const int width = label.find("\xCF\x83") != std::string::npos ? 23 : 22;
    if (fa[i].measured && fb[i].measured) {
      Append(out, "  %-*s %14.*f %14.*f %+14.*f\n", width, label.c_str(), p, fa[i].value, p,
             fb[i].value, p, fb[i].value - fa[i].value);
      continue;
    }
    // A figure one log does not measure has no difference.
    char a_text[32];
    char b_text[32];
    std::snprintf(a_text, sizeof a_text, "%.*f", p, fa[i].value);
    std::snprintf(b_text, sizeof b_text, "%.*f", p, fb[i].value);
    Append(out, "  %-*s %14s %14s %14s\n", width, label.c_str(),
           fa[i].measured ? a_text : "not measured", fb[i].measured ? b_text : "not measured",
           fa[i].measured ? fb[i].why : fa[i].why);
  }
  return out;
}

}  // namespace tsl::report

#include "pace_report/counter_frequency.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace tsl::report {

namespace {

// A value printed with four decimals lies within half a unit of the last place of the true
// one. The slack covers the binary rounding of both the true value and the parsed one.
constexpr double kHalfUnit = 0.00005;
constexpr double kSlack = 1e-9;

struct Bounds {
  double low = 0.0;
  double high = std::numeric_limits<double>::infinity();
};

// The frequencies f for which counts * 1000 / f prints as `printed`. False when none does:
// a zero difference printed as non-zero, or a sign that contradicts the counts.
bool Allowed(int64_t counts, double printed, Bounds& b) {
  if (counts == 0) {
    b = Bounds{};
    return std::fabs(printed) <= kHalfUnit;
  }
  if ((counts < 0) != (printed < 0) && std::fabs(printed) > kHalfUnit) return false;
  const double c = std::fabs(static_cast<double>(counts)) * 1000.0;
  const double v = std::fabs(printed);
  const double v_high = v + kHalfUnit + kSlack;
  const double v_low = v - kHalfUnit - kSlack;
  b.low = c / v_high;
  b.high = v_low > 0.0 ? c / v_low : std::numeric_limits<double>::infinity();
  return true;
}

// The whole number in [low, high] with the most trailing zeros (the smallest such one).
uint64_t Roundest(double low, double high) {
  const double lowest = std::ceil(low);
  for (double step = 1e18; step >= 1.0; step /= 10.0) {
    const double candidate = std::ceil(lowest / step) * step;
    if (candidate <= high && candidate >= 1.0) return static_cast<uint64_t>(candidate);
  }
  return static_cast<uint64_t>(std::llround((low + high) / 2));  // no whole number fits
}

// Narrows `all` by every printed jitter_ms and cb_ms value of the rows, counting in `used` those
// that bound it from above; false, with the row in `error`, at the first that fits no frequency
// the rows before it allow.
bool NarrowByRows(const PaceLog& log, Bounds& all, size_t& used, std::string& error) {
  for (const PaceLogRow& row : log.rows) {
    const PaceSample& s = row.sample;
    const struct {
      const char* column;
      int64_t counts;
      double printed;
    } values[] = {
        {"jitter_ms", static_cast<int64_t>(s.wake_qpc - s.target_qpc), row.jitter_ms},
        {"cb_ms", static_cast<int64_t>(s.done_qpc - s.wake_qpc), row.cb_ms},
    };
    for (const auto& value : values) {
      Bounds b;
      const bool allowed = Allowed(value.counts, value.printed, b);
      const double low = std::max(all.low, b.low);
      const double high = std::min(all.high, b.high);
      if (!allowed || low > high) {
        char text[200];
        std::snprintf(text, sizeof text,
                      "%s %.4f does not fit %lld counts at the counter frequency the rows "
                      "before imply",
                      value.column, value.printed, static_cast<long long>(value.counts));
        error = log.name + ":" + std::to_string(row.line) + ": " + text +
                "; the counter frequency cannot be derived consistently";
        return false;
      }
      all.low = low;
      all.high = high;
      if (std::isfinite(b.high)) ++used;
    }
  }
  return true;
}

}  // namespace

bool DeriveCounterFrequency(const PaceLog& log, CounterFrequency& out, std::string& error) {
  Bounds all;
  size_t used = 0;
  if (!NarrowByRows(log, all, used, error)) return false;
  if (!std::isfinite(all.high) || used == 0) {
    error = log.name +
            ": every jitter_ms and cb_ms value is 0.0000, so the counter frequency cannot be "
            "derived";
    return false;
  }
  // Real counters tick between a few MHz and a few GHz; outside 1 kHz .. 10 THz the rows did not
  // come from one (and the arithmetic below would leave the range of whole counts).
  constexpr double kLowest = 1e3;
  constexpr double kHighest = 1e13;
  if (all.high < kLowest || all.low > kHighest) {
    char text[160];
    std::snprintf(text, sizeof text,
                  ": the rows imply a counter of %.6g .. %.6g Hz, which no pace log comes from",
                  all.low, all.high);
    error = log.name + text;
    return false;
  }
  all.low = std::max(all.low, kLowest);
  all.high = std::min(all.high, kHighest);
  out.hz = Roundest(all.low, all.high);
  out.low_hz = all.low;
  out.high_hz = all.high;
  out.values_used = used;
  return true;
}

}  // namespace tsl::report

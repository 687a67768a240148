#pragma once

// The requested tick rate (--fps) and the period each part needs from it, in that part's own
// unit: the pace thread's counter counts, the overlay's milliseconds, the receive thread's
// microseconds, the display lock's refreshes. One conversion, so that no two parts disagree on
// what a period is.

#include <chrono>
#include <cstdint>

namespace base {

class TickRate {
 public:
  explicit constexpr TickRate(double fps) : fps_(fps) {}

  constexpr double Fps() const { return fps_; }
  // Counts a tick on a counter of `frequency`: the period times the frequency, truncated.
  uint64_t PeriodCounts(uint64_t frequency) const {
    const double seconds_per_tick = 1.0 / fps_;
    return static_cast<uint64_t>(seconds_per_tick * static_cast<double>(frequency));
  }
  double PeriodMs() const { return 1000.0 / fps_; }
  // Truncated to whole microseconds.
  std::chrono::microseconds PeriodUs() const {
    return std::chrono::microseconds(static_cast<int64_t>(1e6 / fps_));
  }
  // Refreshes a tick at a display's `refresh_hz`.
  double RefreshesPerTick(double refresh_hz) const { return refresh_hz / fps_; }

 private:
  double fps_;
};

}  // namespace base

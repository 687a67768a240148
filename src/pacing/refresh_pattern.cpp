#include "pacing/refresh_pattern.h"

#include <algorithm>
#include <cmath>

#include "base/qpc.h"
#include "base/tick_rate.h"

namespace tsl {

RefreshPattern::RefreshPattern(double refresh_hz, double fps) {
  // At most a million refreshes a frame (a frame every few hours): every count below is then a
  // whole number that 32 bits hold, whatever rates a caller passes.
  ratio_ = refresh_hz > 0.0 && fps > 0.0
               ? std::clamp(base::TickRate(fps).RefreshesPerTick(refresh_hz), 1.0, 1e6)
               : 1.0;
  if (!std::isfinite(ratio_)) ratio_ = 1.0;
  snapped_ = false;
  for (uint64_t q = 1; q <= kMostDenominator; ++q) {
    const auto p = static_cast<uint64_t>(std::llround(ratio_ * static_cast<double>(q)));
    if (p >= q && std::fabs(static_cast<double>(p) / static_cast<double>(q) - ratio_) <=
                      kSnapTolerance * ratio_) {
      snapped_ = true;
      p_ = p;
      q_ = q;
      break;
    }
  }
  shortest_ = static_cast<uint32_t>(std::floor(RefreshesPerFrame()));
  longest_ = static_cast<uint32_t>(std::ceil(RefreshesPerFrame()));
  if (snapped_ && p_ % q_ == 0) shortest_ = longest_ = static_cast<uint32_t>(p_ / q_);
}

uint64_t RefreshPattern::StartOf(uint64_t n) const {
  if (snapped_) return n * p_ / q_;
  // The rounded share, the remainder carried: frame n starts at round(n x ratio).
  return static_cast<uint64_t>(std::floor(static_cast<double>(n) * ratio_ + 0.5));
}

double RefreshPattern::EvenOffsetOf(uint64_t n) const {
  if (snapped_) return static_cast<double>(n * p_ % q_) / static_cast<double>(q_);
  return static_cast<double>(n) * ratio_ - static_cast<double>(StartOf(n));
}

std::string RefreshPattern::Label() const {
  if (shortest_ == longest_) return std::to_string(shortest_);
  return std::to_string(shortest_) + "-" + std::to_string(longest_);
}

void GridPattern::Follow(double period_qpc) {
  if (periodQpc_ > 0.0 && std::fabs(period_qpc / periodQpc_ - 1.0) <= kRefit) return;
  pattern_ = RefreshPattern(base::QpcHz(period_qpc, frequency_), fps_);
  periodQpc_ = period_qpc;
}

std::string GridPattern::Label(double refresh_hz) const {
  return periodQpc_ > 0.0 ? pattern_.Label() : RefreshPattern(refresh_hz, fps_).Label();
}

}  // namespace tsl

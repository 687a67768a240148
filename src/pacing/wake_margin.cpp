#include "pacing/wake_margin.h"

#include <algorithm>

#include "base/percentile.h"
#include "base/qpc.h"

namespace tsl {

namespace {
constexpr int64_t kFloorUs = 200;
constexpr int64_t kCeilingUs = 3'000;
constexpr int64_t kGuardUs = 50;
constexpr int64_t kStartUs = 500;
// The margin is learned again every so many wakes: the percentile is a selection over the
// window, cheap but not free.
constexpr size_t kLearnEvery = 32;

int64_t Us(uint64_t frequency, int64_t us) {
  return static_cast<int64_t>(base::QpcFromUs(static_cast<double>(us), frequency));
}
}  // namespace

WakeMargin::WakeMargin(uint64_t frequency, uint64_t period_counts, Tail tail)
    : tail_(tail),
      floor_(Us(frequency, kFloorUs)),
      ceiling_(std::max(
          floor_, std::min(Us(frequency, kCeilingUs), static_cast<int64_t>(period_counts / 4)))),
      guard_(Us(frequency, kGuardUs)),
      margin_(tail.from_ceiling ? ceiling_ : std::clamp(Us(frequency, kStartUs), floor_, ceiling_)),
      recent_(tail.window) {}

void WakeMargin::Record(int64_t overshoot_counts) {
  recent_.Push(overshoot_counts);
  ++seen_;
  if (seen_ >= kFirstLearned && seen_ % kLearnEvery == 0) Learn();
}

void WakeMargin::Learn() {
  if (tail_.from_ceiling && seen_ < tail_.window) return;
  std::vector<int64_t> scratch(recent_.Values());
  margin_ = std::clamp(base::PercentileNearestBelow(scratch, tail_.percentile) + guard_, floor_,
                       ceiling_);
}

}  // namespace tsl

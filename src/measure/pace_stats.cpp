#include "measure/pace_stats.h"

#include <algorithm>
#include <cmath>

#include "base/qpc.h"

namespace tsl {

MeanAndDeviation MeanAndPopulationDeviation(const std::vector<double>& values) {
  MeanAndDeviation out;
  if (values.empty()) return out;
  const double count = static_cast<double>(values.size());
  double sum = 0.0;
  for (double v : values) sum += v;
  out.mean = sum / count;
  double squares = 0.0;
  for (double v : values) squares += (v - out.mean) * (v - out.mean);
  out.stddev = std::sqrt(squares / count);
  return out;
}

PaceStats::PaceStats(size_t capacity) : PaceStats(capacity, base::QpcFrequency()) {}

PaceStats::PaceStats(size_t capacity, uint64_t qpc_frequency)
    : capacity_(capacity), ring_(capacity), qpcFrequency_(qpc_frequency) {}

void PaceStats::Record(const PaceSample& sample) {
  base::MutexLock guard(lock_);
  ring_.Push(sample);
}

std::vector<PaceSample> PaceStats::Window() const {
  std::vector<PaceSample> window;
  Recent(capacity_, window);
  return window;
}

void PaceStats::Recent(size_t n, std::vector<PaceSample>& out) const {
  out.clear();
  out.reserve(n);  // before taking the lock
  base::MutexLock guard(lock_);
  const size_t held = std::min(ring_.Size(), n);
  for (size_t i = ring_.Size() - held; i < ring_.Size(); ++i) out.push_back(ring_.Oldest(i));
}

PaceSnapshot PaceStats::Snapshot() const {
  PaceSnapshot snap;
  const std::vector<PaceSample> window = Window();
  const size_t n = window.size();
  if (n < 2) return snap;

  std::vector<double> jitter(n);
  std::vector<double> cb(n);
  std::vector<double> intervals(n - 1);
  uint32_t holds = 0;
  for (size_t i = 0; i < n; ++i) {
    const PaceSample& s = window[i];
    jitter[i] = std::fabs(base::QpcDeltaMs(s.target_qpc, s.wake_qpc, qpcFrequency_));
    cb[i] = base::QpcDeltaMs(s.wake_qpc, s.done_qpc, qpcFrequency_);
    if (s.hold) ++holds;
    if (i >= 1) {
      intervals[i - 1] = base::QpcDeltaMs(window[i - 1].wake_qpc, s.wake_qpc, qpcFrequency_);
    }
  }

  snap.samples = static_cast<int32_t>(n);
  snap.jitter_max_ms = *std::max_element(jitter.begin(), jitter.end());
  snap.cb_max_ms = *std::max_element(cb.begin(), cb.end());

  const auto [min_it, max_it] = std::minmax_element(intervals.begin(), intervals.end());
  snap.interval_min_ms = *min_it;
  snap.interval_max_ms = *max_it;
  const MeanAndDeviation spread = MeanAndPopulationDeviation(intervals);
  snap.interval_mean_ms = spread.mean;
  snap.interval_stddev_ms = spread.stddev;

  // The jitter and callback lists are not needed in order afterwards, so they serve as their own
  // scratch; the intervals are selected twice, from one copy.
  snap.jitter_p99_ms = PercentileNearestBelow(jitter, 0.99);
  snap.cb_p99_ms = PercentileNearestBelow(cb, 0.99);
  std::vector<double> scratch(intervals);
  snap.interval_p1_ms = PercentileNearestBelow(scratch, 0.01);
  snap.interval_p99_ms = PercentileNearestBelow(scratch, 0.99);

  snap.hold_ratio = static_cast<double>(holds) / static_cast<double>(n);
  return snap;
}

}  // namespace tsl

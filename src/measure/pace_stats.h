#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/fixed_ring.h"
#include "base/guarded.h"
#include "base/percentile.h"

namespace tsl {

struct PaceSample {
  uint64_t tick = 0;
  uint64_t target_qpc = 0;
  uint64_t wake_qpc = 0;
  uint64_t done_qpc = 0;
  bool hold = false;  // the presented frame repeats the previous presenting tick's version
  uint64_t src_version = 0;
};

// Summary of the sample window; all durations in milliseconds. All zero below two samples.
struct PaceSnapshot {
  int32_t samples = 0;
  double jitter_max_ms = 0.0;
  double jitter_p99_ms = 0.0;
  double interval_min_ms = 0.0;
  double interval_max_ms = 0.0;
  double interval_p1_ms = 0.0;
  double interval_p99_ms = 0.0;
  double interval_mean_ms = 0.0;
  double interval_stddev_ms = 0.0;
  double cb_p99_ms = 0.0;
  double cb_max_ms = 0.0;
  double hold_ratio = 0.0;
};

inline constexpr size_t kPaceRingCapacity = 8192;

// The percentile every figure here uses (base/percentile.h), by its old name.
using base::PercentileNearestBelow;

// The mean of `values` and their population standard deviation (over n, not n - 1): the title's
// and the report's σ. Both 0 for an empty list.
struct MeanAndDeviation {
  double mean = 0.0;
  double stddev = 0.0;
};
MeanAndDeviation MeanAndPopulationDeviation(const std::vector<double>& values);

// The recent pacing history: a fixed ring of samples written by the pace thread, summarised and
// exported by the main thread. The lock is held only to store one sample or to copy the window.
class PaceStats {
 public:
  // `qpc_frequency` converts counter differences to milliseconds; the process's cached counter
  // frequency unless a test supplies its own.
  explicit PaceStats(size_t capacity = kPaceRingCapacity);
  PaceStats(size_t capacity, uint64_t qpc_frequency);

  PaceStats(const PaceStats&) = delete;
  PaceStats& operator=(const PaceStats&) = delete;

  void Record(const PaceSample& sample);
  PaceSnapshot Snapshot() const;

  // Writes the window, oldest first, to the file at `utf8_path` (replacing it). False when the
  // file cannot be opened or written completely.
  bool WriteCsv(const std::string& utf8_path) const;

  // The samples currently in the window, oldest first.
  std::vector<PaceSample> Window() const;
  // The newest `n` samples (fewer while there are fewer), oldest first, into `out`, whose
  // storage is reused: a copy taken under the lock, so nothing holds the lock while it is used.
  void Recent(size_t n, std::vector<PaceSample>& out) const;

  uint64_t QpcFrequency() const { return qpcFrequency_; }

 private:
  mutable base::Mutex lock_;
  const size_t capacity_;  // the ring's, read without the lock
  base::FixedRing<PaceSample> ring_ GUARDED_BY(lock_);
  const uint64_t qpcFrequency_;
};

}  // namespace tsl

#pragma once

#include <cstdint>

namespace base {

// Raw high-resolution counter reading (QueryPerformanceCounter on Windows, CLOCK_MONOTONIC in
// nanoseconds elsewhere). Every pacing time in the program is such a count.
uint64_t QpcNow();

// Counts per second of QpcNow. Read from the system once per process, on first use, and cached.
uint64_t QpcFrequency();

// Milliseconds between two counts: the signed difference, times 1000, over the frequency.
inline double QpcDeltaMs(uint64_t from, uint64_t to, uint64_t frequency) {
  return static_cast<double>(static_cast<int64_t>(to - from)) * 1000.0 /
         static_cast<double>(frequency);
}

}  // namespace base

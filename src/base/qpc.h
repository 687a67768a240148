#pragma once

#include <cstdint>

namespace base {

// Raw high-resolution counter reading (QueryPerformanceCounter on Windows, CLOCK_MONOTONIC in
// nanoseconds elsewhere). Every pacing time in the program is such a count.
uint64_t QpcNow();

// Counts per second of QpcNow. Read from the system once per process, on first use, and cached.
uint64_t QpcFrequency();

// Every length a pacing part keeps is in counts. These are the one way counts become what a
// person reads (milliseconds, hertz) and what a person wrote (microseconds) becomes counts.

// Counts in `us` microseconds: a constant written in microseconds, as a pacing length.
constexpr double QpcFromUs(double us, uint64_t frequency) {
  return us * static_cast<double>(frequency) / 1e6;
}

// Milliseconds in `counts`.
constexpr double QpcToMs(double counts, uint64_t frequency) {
  return counts * 1000.0 / static_cast<double>(frequency);
}

// Milliseconds between two counts: the signed difference (a wake before its due time is
// negative, not 2^64 counts late).
constexpr double QpcDeltaMs(uint64_t from, uint64_t to, uint64_t frequency) {
  return QpcToMs(static_cast<double>(static_cast<int64_t>(to - from)), frequency);
}

// How many a second, one every `period_counts`: a display's refresh rate from its period.
constexpr double QpcHz(double period_counts, uint64_t frequency) {
  return static_cast<double>(frequency) / period_counts;
}

}  // namespace base

#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pace_report/pace_log_reader.h"

namespace tsl::report {

// The counter frequency is not in the pace log, but every row holds two counter differences
// (wake - target and done - wake) next to their milliseconds printed with four decimals. Each
// non-zero printed value bounds the frequency to a small interval; the frequency is the
// roundest whole number of counts per second inside the intersection of all of them.
struct CounterFrequency {
  uint64_t hz = 0;
  double low_hz = 0.0;     // the intersection every row allows
  double high_hz = 0.0;    // (infinite when only zero values were seen)
  size_t values_used = 0;  // printed values that bounded it from both sides
};

// False, with `error` = "NAME:LINE: ...", when some row contradicts the rows before it (no
// frequency prints them all), when no row bounds the frequency (every value printed 0), or
// when the rows imply a frequency no counter has (below 1 kHz or above 10 THz).
bool DeriveCounterFrequency(const PaceLog& log, CounterFrequency& out, std::string& error);

}  // namespace tsl::report

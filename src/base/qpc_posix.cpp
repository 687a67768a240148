#include <time.h>

#include "base/qpc.h"

namespace base {

uint64_t QpcNow() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1'000'000'000ull + static_cast<uint64_t>(ts.tv_nsec);
}

uint64_t QpcFrequency() {
  static const uint64_t frequency = 1'000'000'000ull;
  return frequency;
}

}  // namespace base

#include <windows.h>

#include "base/qpc.h"

namespace base {

uint64_t QpcNow() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<uint64_t>(now.QuadPart);
}

uint64_t QpcFrequency() {
  static const uint64_t frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<uint64_t>(f.QuadPart);
  }();
  return frequency;
}

}  // namespace base

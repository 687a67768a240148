#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace base {

// The percentile as the title, the report and the learned margins define it: the value at
// 0-based position floor((n - 1) x q) of the n values in sorted order, 0 for none. Reorders
// `scratch` (a partial sort, not a full one).
template <typename T>
T PercentileNearestBelow(std::vector<T>& scratch, double q) {
  if (scratch.empty()) return T{};
  const auto k = static_cast<size_t>(static_cast<double>(scratch.size() - 1) * q);
  std::nth_element(scratch.begin(), scratch.begin() + static_cast<std::ptrdiff_t>(k),
                   scratch.end());
  return scratch[k];
}

}  // namespace base

#pragma once

#include <algorithm>
#include <vector>

namespace tsl {

// Puts every primary monitor before every other one, keeping the system's order within each
// group, so that index 0 is the primary monitor however the system lists them.
template <typename Monitor>
void OrderPrimaryFirst(std::vector<Monitor>& monitors) {
  std::stable_partition(monitors.begin(), monitors.end(),
                        [](const Monitor& m) { return m.primary; });
}

}  // namespace tsl

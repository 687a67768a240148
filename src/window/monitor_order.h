#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace tsl {

// Puts every primary monitor before every other one, keeping the system's order within each
// group, so that index 0 is the primary monitor however the system lists them.
template <typename Monitor>
void OrderPrimaryFirst(std::vector<Monitor>& monitors) {
  std::stable_partition(monitors.begin(), monitors.end(),
                        [](const Monitor& m) { return m.primary; });
}

// One line of --list-monitors: index, name in quotes, mode, refresh rate ("refresh unknown"
// where the system states none), "primary".
std::string MonitorLine(int32_t index, const std::wstring& name, uint32_t width, uint32_t height,
                        double refresh_hz, bool primary);

// The monitor a person names: the index of the one whose name is `wanted` ignoring case, else
// of the only one whose name begins with it; -1 when none does or several do (`ambiguous`).
// Names are what the system calls the monitors (their friendly names), in index order.
int32_t MonitorByName(const std::vector<std::wstring>& names, const std::wstring& wanted,
                      bool& ambiguous);

}  // namespace tsl

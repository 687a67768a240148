#pragma once

// How old the source frames were when first presented, from the display records.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "measure/display_vocabulary.h"

namespace tsl {

// How old the source frames in `records` (oldest first) were when first presented: present
// returned minus when the receive thread saw them, each frame counted once, at its first
// present, as the report counts them. `frames` is 0 where no record says.
struct FrameAge {
  size_t frames = 0;
  double p50_ms = 0.0;
  double p99_ms = 0.0;
};
FrameAge FrameAgeAtPresent(const std::vector<DisplayRecord>& records, uint64_t qpc_frequency);

}  // namespace tsl

#include "measure/frame_age.h"

#include "base/percentile.h"
#include "base/qpc.h"

namespace tsl {

FrameAge FrameAgeAtPresent(const std::vector<DisplayRecord>& records, uint64_t qpc_frequency) {
  FrameAge age;
  if (qpc_frequency == 0) return age;
  std::vector<double> ages;
  uint64_t previous_seen = 0;
  for (const DisplayRecord& r : records) {
    // A blank (nothing seen) or a present that returned before its frame was seen says nothing.
    if (r.seen_qpc == 0 || r.present_qpc < r.seen_qpc) continue;
    if (r.seen_qpc == previous_seen) continue;  // the same frame again: held
    previous_seen = r.seen_qpc;
    ages.push_back(base::QpcDeltaMs(r.seen_qpc, r.present_qpc, qpc_frequency));
  }
  age.frames = ages.size();
  if (ages.empty()) return age;
  age.p50_ms = base::PercentileNearestBelow(ages, 0.5);
  age.p99_ms = base::PercentileNearestBelow(ages, 0.99);
  return age;
}

}  // namespace tsl

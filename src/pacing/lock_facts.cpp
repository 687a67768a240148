#include "pacing/lock_facts.h"

#include <algorithm>

#include "base/qpc.h"

namespace tsl {

namespace {
constexpr double kLeastCeilingUs = 2000.0;
// The longest lead, as a share of a refresh: a present made earlier than that could reach the
// blank before its own (and ticks slower than a refresh slip whatever the lead).
constexpr double kCeilingShare = 0.8;
// A present done this long before its blank cannot have missed it for the latch (no display's
// is this long): if it still reached the glass a refresh later, the compositor put it there.
constexpr double kSurelyInTimeUs = 3000.0;
}  // namespace

LockFacts LockFacts::For(uint64_t frequency, uint32_t frame_latency, const RefreshPattern& pattern,
                         const BlankGrid& grid) {
  LockFacts facts;
  facts.held_by_interval = frame_latency > 1 && pattern.Longest() <= kMostSyncInterval;
  facts.ahead =
      facts.held_by_interval ? static_cast<double>(frame_latency - 1) * grid.period_qpc : 0.0;
  facts.ceiling = std::max(base::QpcFromUs(kLeastCeilingUs, frequency),
                           grid.Valid() ? kCeilingShare * grid.period_qpc : 0.0);
  facts.surely = std::min(base::QpcFromUs(kSurelyInTimeUs, frequency), 0.8 * facts.ceiling);
  return facts;
}

}  // namespace tsl

#include "pacing/composition_probe.h"

#include <cmath>

namespace tsl {

bool CompositionProbe::Wanted(const LockFacts& facts, const LeadLearner& learner,
                              const BlankGrid& grid, bool settled) const {
  const double half = grid.period_qpc / 2.0;
  return facts.held_by_interval && !told_ && !known_ && grid.source == BlankSource::kStatistics &&
         id_ == 0 && !next_ && settled && learner.Lead() + learner.CostP99() < half &&
         learner.Latch() + learner.CostP99() < half;
}

uint64_t CompositionProbe::Schedule(double blank, double period) {
  next_ = true;
  return static_cast<uint64_t>(std::llround(blank - period / 2.0));
}

void CompositionProbe::OnPresented(bool made, uint32_t present_id) {
  if (!next_) return;
  next_ = false;
  if (made) id_ = present_id;
}

bool CompositionProbe::Answers(uint32_t present_id) {
  if (id_ == 0 || static_cast<int32_t>(present_id - id_) < 0) return false;
  id_ = 0;
  return true;
}

void CompositionProbe::Restart() {
  next_ = false;
  id_ = 0;
}

}  // namespace tsl

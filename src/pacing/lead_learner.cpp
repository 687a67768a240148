#include "pacing/lead_learner.h"

#include <algorithm>
#include <vector>

#include "base/percentile.h"

namespace tsl {

namespace {
constexpr double kStartLeadUs = 2000.0;
constexpr double kAssumedLatchUs = 500.0;  // until the landings say otherwise
constexpr double kLatchGuardUs = 100.0;
// Above the floor's percentiles: a wake as late as the tail seen still makes its blank.
constexpr double kFloorGuardUs = 100.0;
constexpr double kMissStepUs = 500.0;
constexpr double kShortenStepUs = 50.0;
constexpr uint64_t kCleanTicks = 120;  // ticks without a miss before the lead shortens
constexpr size_t kWindow = 512;        // the recent ticks the floor is learned from
constexpr size_t kLearnEvery = 32;     // ticks between learnings
// The slowest tick of each learning's block is kept this many blocks: 8,192 ticks, over two
// minutes at 60 Hz.
constexpr size_t kTailBlocks = 256;
// Ticks without a slip that taught the latch anything before what slips taught comes halfway
// back to the assumed latch: about ten minutes at 60 Hz, so that a real long latch costs a slip
// that rarely, and one slow present does not keep the lead long for good.
constexpr uint64_t kLatchDecayTicks = 36'000;
// Ticks without a slip before what slips added to the floor halves: two and a half minutes at
// 60 Hz, so that a tail that slips a present every few minutes stays covered.
constexpr uint64_t kSlipGuardHalfLife = 9'000;

// Of a copy: the recent costs and lateness keep their order for the rings they are.
double Percentile(std::vector<double> v, double q) { return base::PercentileNearestBelow(v, q); }
}  // namespace

LeadLearner::LeadLearner(uint64_t frequency)
    : frequency_(frequency),
      lead_(Us(kStartLeadUs)),
      latch_(Us(kAssumedLatchUs)),
      costs_(kWindow),
      lateness_(kWindow),
      blockCosts_(kTailBlocks) {}

void LeadLearner::Miss(double ceiling) {
  lead_ = std::min(ceiling, lead_ + Us(kMissStepUs));
  clean_ = 0;
}

void LeadLearner::Learn(bool tail_counts, double ceiling) {
  costP50_ = Percentile(costs_.Values(), 0.5);
  costP99_ = Percentile(costs_.Values(), 0.995);
  blockCosts_.Push(blockCostMost_);
  blockCostMost_ = 0.0;
  // With one frame in flight a tick slower than the lead is a repeat on the glass, so the lead
  // covers the slowest tick of the last few minutes (a stall a thousand ticks apart included),
  // as far as the ceiling allows. With two, the refresh ahead absorbs the tail.
  double cost = costP99_;
  if (tail_counts) {
    for (const double most : blockCosts_.Values()) cost = std::max(cost, most);
  }
  floor_ = std::min(ceiling, latch_ + cost + Percentile(lateness_.Values(), 0.999) +
                                 Us(kFloorGuardUs) + slipGuard_);
  lead_ = std::max(lead_, floor_);
}

void LeadLearner::OnTick(double cost, double late, bool tail_counts, double ceiling) {
  costs_.Push(cost);
  blockCostMost_ = std::max(blockCostMost_, cost);
  lateness_.Push(late);
  if (++samples_ % kLearnEvery == 0) Learn(tail_counts, ceiling);
  // What slips taught of the latch halves over each long clean stretch: one slow present, or a
  // grid that was still settling, does not keep the lead long for good.
  if (++sinceLatchSlip_ >= kLatchDecayTicks && slipLatch_ > 0.0) {
    const double assumed = Us(kAssumedLatchUs);
    slipLatch_ = slipLatch_ > assumed ? (slipLatch_ + assumed) / 2.0 : 0.0;
    sinceLatchSlip_ = 0;
    FollowLatch(ceiling);
  }
  if (++sinceSlipGuard_ >= kSlipGuardHalfLife && slipGuard_ > 0.0) {
    slipGuard_ = slipGuard_ > Us(kMissStepUs) / 4.0 ? slipGuard_ / 2.0 : 0.0;
    sinceSlipGuard_ = 0;
  }
  // Clean stretches bring the lead back down towards what the ticks need: half the way each
  // time, at least a small step.
  if (++clean_ >= kCleanTicks) {
    const double step = std::max((lead_ - floor_) / 2.0, Us(kShortenStepUs));
    lead_ = std::max(floor_, lead_ - step);
    clean_ = 0;
  }
}

void LeadLearner::Landed(double before) {
  landedLatch_ = haveLanded_ ? std::min(landedLatch_, before) : before;
  haveLanded_ = true;
}

void LeadLearner::FollowLatch(double ceiling) {
  const double assumed = Us(kAssumedLatchUs);
  double latch = haveLanded_ ? std::min(assumed, landedLatch_) : assumed;
  if (slipLatch_ > 0.0) latch = std::max(latch, slipLatch_ + Us(kLatchGuardUs));
  latch_ = std::min(ceiling, latch);
}

void LeadLearner::LatchSlipped(double before, double lead_before, double ceiling) {
  // Made this long before its blank, it was still too late for it: the latch is more than that,
  // unless a present made as late as this has landed (then the latch did not do it: a
  // compositor's hiccup, say).
  if (!haveLanded_ || before < landedLatch_) {
    slipLatch_ = std::max(slipLatch_, before);
    sinceLatchSlip_ = 0;
    FollowLatch(ceiling);
  }
  lead_ = std::min(ceiling, lead_before);
  Miss(ceiling);
  lead_ = std::max(lead_, latch_);
  SlowTickSlipped(ceiling);
}

void LeadLearner::SlowTickSlipped(double ceiling) {
  // Work after the present (the GPU's) and a latch that varies are not in the ticks' costs: a
  // slip is their tail showing. Each raises the floor a step, for minutes.
  const double step = Us(kMissStepUs);
  slipGuard_ = std::min(ceiling, slipGuard_ + step);
  sinceSlipGuard_ = 0;
  floor_ = std::min(ceiling, floor_ + step);
  lead_ = std::max(lead_, floor_);
}

}  // namespace tsl

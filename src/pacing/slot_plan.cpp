#include "pacing/slot_plan.h"

#include <algorithm>
#include <cmath>

namespace tsl {

namespace {
// A slot this many frames in the past is no schedule to continue: the lock was not used
// meanwhile (timer mode, or no grid), and starts afresh.
constexpr double kStaleFrames = 4.0;
}  // namespace

SlotPlan PlanSlot(const BlankGrid& grid, const RefreshPattern& pattern, const SlotBefore& before,
                  const LastPresent& last, double now, double lead, uint32_t drain) {
  const double period = grid.period_qpc;
  SlotPlan plan;
  if (!before.valid || now > before.blank + kStaleFrames * pattern.RefreshesPerFrame() * period) {
    // A fresh start lets the last present, held by its sync interval, stay its refreshes from
    // the first blank it could reach: a present made for an earlier blank would queue behind it
    // and land late.
    const double held_until = last.ready == 0.0 || last.sync_interval < 2
                                  ? 0.0
                                  : grid.AtOrAfter(last.ready) + last.sync_interval * period;
    plan.blank = grid.AtOrAfter(std::max(now + lead, held_until - period / 2.0));
  } else {
    plan.frame = before.frame + 1;
    plan.blank = grid.Nearest(before.blank + pattern.RefreshesOf(before.frame) * period);
  }
  if (drain > 0) {
    // Each image is held by its sync interval, so those queued fill the refreshes the slot
    // moves, and the glass goes on as it was; only the queue is back to its depth. Whole slots
    // given up would move the schedule by frames, not refreshes, and the queue would run
    // empty; frames of one refresh are whole slots.
    plan.blank = grid.Nearest(plan.blank + drain * period);
    if (pattern.Longest() == 1) {
      plan.given_up += drain;
      plan.frame += drain;
    }
  }
  // A slot whose time has passed is given up: the schedule never moves to "now". Frames of one
  // length may take the next blank of the grid (any blank starts the pattern as well); an
  // uneven pattern takes its next slot, so the frames after it keep their place in the 2-3.
  if (plan.blank - lead < now) {
    plan.late = true;
    ++plan.given_up;
    if (pattern.Shortest() == pattern.Longest() && pattern.Snapped()) {
      plan.blank = grid.AtOrAfter(now + lead);
      ++plan.frame;
    } else {
      while (plan.blank - lead < now) {
        plan.blank = grid.Nearest(plan.blank + pattern.RefreshesOf(plan.frame) * period);
        ++plan.frame;
      }
    }
  }
  return plan;
}

LockedTick TickFor(const RefreshPattern& pattern, uint64_t frame, double blank, double period,
                   double lead, bool held_by_interval) {
  LockedTick t;
  t.frame = frame;
  t.blank_qpc = static_cast<uint64_t>(std::llround(blank));
  t.target_qpc = static_cast<uint64_t>(std::llround(blank - lead));
  const double even = (pattern.EvenOffsetOf(frame) - pattern.EvenOffsetMost()) * period;
  t.sample_qpc = static_cast<uint64_t>(std::llround(blank + even - lead));
  t.refreshes = pattern.RefreshesOf(frame);
  t.sync_interval = held_by_interval ? t.refreshes : 1;
  return t;
}

}  // namespace tsl

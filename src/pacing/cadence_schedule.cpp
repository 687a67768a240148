#include "pacing/cadence_schedule.h"

namespace tsl {

TickPlan TimerSchedule::Plan(uint64_t now) {
  TickPlan plan;
  plan.mode = CadenceMode::kTimer;
  const auto remaining = static_cast<int64_t>(target_ - now);
  if (remaining > 0) {
    plan.wait = true;
  } else if (remaining < -static_cast<int64_t>(period_)) {
    plan.skipped = 1;
    target_ = now;
  }
  plan.target = target_;
  return plan;
}

TickPlan EveryRefreshSchedule::Plan(uint64_t now) {
  TickPlan plan;
  plan.mode = mode_;
  plan.target = now;
  plan.back_to_back = true;
  return plan;
}

void EveryRefreshSchedule::Ticked(uint64_t from, uint64_t to, PacePlatform& os) {
  if (to - from < (period_ >> 2)) os.SleepTwoMs();
}

CadenceMode LockedSchedule::Mode() const {
  if (!planned_) return lock_.HasClock() ? CadenceMode::kLocked : CadenceMode::kNoClock;
  return locked_ ? CadenceMode::kLocked : CadenceMode::kNoClock;
}

TickPlan LockedSchedule::Plan(uint64_t now) {
  planned_ = true;
  TickPlan plan;
  uint64_t target = 0;
  uint64_t skipped = 0;
  locked_ = lock_.NextTarget(now, target, skipped);
  if (!locked_) return backToBack_.Plan(now);
  plan.mode = CadenceMode::kLocked;
  plan.wait = true;
  plan.target = target;
  plan.rare_tail = lock_.EveryWakeCounts();
  plan.skipped = skipped;
  return plan;
}

void LockedSchedule::Ticked(uint64_t from, uint64_t to, PacePlatform& os) {
  if (!locked_) backToBack_.Ticked(from, to, os);
}

}  // namespace tsl

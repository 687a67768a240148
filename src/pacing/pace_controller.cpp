#include "pacing/pace_controller.h"

#include <cmath>
#include <utility>

#include "base/tick_rate.h"

namespace tsl {

PaceController::PaceController() : PaceController(MakeSystemPacePlatform()) {}

PaceController::PaceController(std::unique_ptr<PacePlatform> platform)
    : platform_(std::move(platform)) {}

PaceController::~PaceController() {
  Stop();
  tickCallback_ = nullptr;
  vsyncActive_ = nullptr;
}

uint64_t PaceController::PeriodCounts(double fps, uint64_t frequency) {
  return base::TickRate(fps).PeriodCounts(frequency);
}

bool PaceController::RateAccepted(double fps, uint64_t frequency) {
  // A NaN or infinite rate would give a zero or undefined period; refuse it like a
  // non-positive one. So is a rate whose period is under one counter count (the thread would
  // spin and count every tick missed), and one outside the bounds.
  return std::isfinite(fps) && fps >= kMinFps && fps <= kMaxFps && frequency > 0 &&
         PeriodCounts(fps, frequency) > 0;
}

bool PaceController::Start(double fps, TickCallback tick_callback, bool realtime,
                           VsyncActive vsync_active) {
  if (running_.load() || !RateAccepted(fps, platform_->Frequency()) || !tick_callback) {
    return false;
  }
  if (!margin_ || fps != fps_) {
    const uint64_t period = PeriodCounts(fps, platform_->Frequency());
    margin_ = std::make_unique<WakeMargin>(platform_->Frequency(), period);
    lockedMargin_ =
        std::make_unique<WakeMargin>(platform_->Frequency(), period, WakeMargin::kLockedTail);
  }
  fps_ = fps;
  realtime_ = realtime;
  tickCallback_ = std::move(tick_callback);
  vsyncActive_ = std::move(vsync_active);

  measuredFps_.store(0.0);
  missed_.store(0);
  tickCounter_.store(0);
  const uint64_t period = PeriodCounts(fps, platform_->Frequency());
  timer_ = std::make_unique<TimerSchedule>(period);
  everyRefresh_ = std::make_unique<EveryRefreshSchedule>(period, CadenceMode::kEveryRefresh);
  locked_ = schedule_ != nullptr ? std::make_unique<LockedSchedule>(*schedule_, period) : nullptr;
  mode_.store(Choose(vsyncActive_ && vsyncActive_()).Mode());

  platform_->BeginTimerResolution();
  if (!platform_->OpenTimer()) {
    platform_->EndTimerResolution();
    return false;
  }
  timerResolutionRaised_ = true;

  // If the thread cannot be created the exception leaves running set and the timer open; the
  // next Stop releases both and lowers the resolution again.
  running_.store(true);
  worker_ = std::thread([this] { ThreadMain(); });
  return true;
}

void PaceController::Stop() {
  const bool was_running = running_.exchange(false);
  if (!was_running) {
    platform_->CloseTimer();
    return;
  }
  if (platform_->TimerOpen()) {
    platform_->ArmTimer(TimerDelay::zero());  // wakes a thread blocked on the timer at once
  }
  if (worker_.joinable()) {
    worker_.join();
  }
  platform_->CloseTimer();
  if (timerResolutionRaised_) {
    platform_->EndTimerResolution();
    timerResolutionRaised_ = false;
  }
}

void PaceController::Tick(uint64_t tick, uint64_t target, uint64_t wake) {
  // Nothing may leave the pace thread: a tick whose callback throws (out of memory) is a tick
  // lost, and the schedule goes on.
  try {
    tickCallback_(tick, target, wake);
  } catch (...) {
  }
}

bool PaceController::WaitUntil(uint64_t target, WakeMargin& margin) {
  PacePlatform& os = *platform_;
  // How early to wake before a target and spin the rest is learned from this timer's overshoots
  // (kept across a stop and a start at the same rate: the timer is the same).
  const uint64_t now = os.Now();
  const int64_t remaining = static_cast<int64_t>(target - now);
  if (remaining <= 0) return true;
  const int64_t early = margin.Counts();
  if (remaining > early) {
    const auto frequency = static_cast<int64_t>(os.Frequency());
    os.ArmTimer(TimerDelay((remaining - early) * TimerDelay::period::den / frequency));
    os.WaitTimer();
    if (!running_.load()) return false;
    const uint64_t due = now + static_cast<uint64_t>(remaining - early);
    const auto overshoot = static_cast<int64_t>(os.Now() - due);
    margin_->Record(overshoot);
    lockedMargin_->Record(overshoot);
    wakeMarginCounts_.store(margin.Counts());
  }
  uint64_t spin_now = os.Now();
  while (spin_now < target) {
    if (!running_.load()) return false;
    os.SpinPause();
    spin_now = os.Now();
  }
  return true;
}

CadenceSchedule& PaceController::Choose(bool vsync) {
  if (!vsync) return *timer_;
  return locked_ != nullptr ? static_cast<CadenceSchedule&>(*locked_) : *everyRefresh_;
}

void PaceController::ThreadMain() {
  PacePlatform& os = *platform_;
  void* thread_class = os.EnterThreadClass(realtime_);

  const uint64_t frequency = os.Frequency();
  wakeMarginCounts_.store(margin_->Counts());
  CadenceSchedule* last = nullptr;
  uint64_t window_start = os.Now();
  uint64_t window_ticks = 0;

  while (running_.load()) {
    CadenceSchedule& schedule = Choose(vsyncActive_ && vsyncActive_());
    if (&schedule != last) schedule.Resume(os.Now());
    last = &schedule;
    const TickPlan plan = schedule.Plan(os.Now());
    mode_.store(plan.mode, std::memory_order_relaxed);
    missed_.fetch_add(plan.skipped);
    if (plan.wait && !WaitUntil(plan.target, plan.rare_tail ? *lockedMargin_ : *margin_)) break;
    if (!running_.load()) break;
    const uint64_t wake = os.Now();
    if (schedule.Deferred(wake)) continue;
    const bool ticked = schedule.InTime(wake);
    if (ticked) {
      Tick(tickCounter_.fetch_add(1), plan.back_to_back ? wake : plan.target, wake);
      schedule.Ticked(wake, os.Now(), os);
    } else {
      missed_.fetch_add(1);
    }

    const uint64_t done = os.Now();
    if (ticked) ++window_ticks;
    if (done - window_start >= frequency) {
      measuredFps_.store(static_cast<double>(window_ticks) * static_cast<double>(frequency) /
                         static_cast<double>(done - window_start));
      window_start = os.Now();
      window_ticks = 0;
    }
  }

  if (thread_class != nullptr) {
    os.LeaveThreadClass(thread_class);
  }
}

}  // namespace tsl

#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "pacing/pace_platform.h"

namespace tsl::testing {

// A deterministic clock for the pace controller. Time stands still except where something
// moves it: a timer wait jumps to the armed due time, a spin step adds one count, the 2 ms sleep
// adds 2 ms, and a tick callback can add the time its work is meant to take. With the default
// 10 MHz frequency one count is 100 ns, so timer delays and counts are the same unit.
class FakePacePlatform final : public PacePlatform {
 public:
  struct Counters {
    int resolution_begins = 0;
    int resolution_ends = 0;
    int timer_opens = 0;
    int timer_closes = 0;
    int arms = 0;       // arms with a non-zero delay (the schedule's own)
    int wake_arms = 0;  // arms with a zero delay (Stop's wake-up)
    TimerDelay last_arm_delay{-1};
    int sleeps = 0;
    int thread_class_enters = 0;
    int thread_class_leaves = 0;
    bool last_realtime = false;
  };

  explicit FakePacePlatform(uint64_t frequency = 10'000'000, uint64_t start = 1'000'000'000)
      : frequency_(frequency), now_(start) {}

  // Test controls.
  void Advance(uint64_t counts) { now_.fetch_add(counts); }
  void SetFailTimer(bool fail) { failTimer_ = fail; }
  // Timer waits come this many counts after their due time, as a timer that oversleeps.
  void SetWakeLate(uint64_t counts) { wakeLate_ = counts; }
  // While set, a timer wait blocks for real until Stop's wake-up arrives, like a tick that is
  // seconds away.
  void SetBlockWaits(bool block) { blockWaits_ = block; }
  bool Waiting() const { return waiting_.load(); }

  Counters Counts() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return counters_;
  }

  uint64_t Now() override { return now_.load(); }
  uint64_t Frequency() override { return frequency_; }

  void BeginTimerResolution() override { Count(&Counters::resolution_begins); }
  void EndTimerResolution() override { Count(&Counters::resolution_ends); }

  bool OpenTimer() override {
    std::lock_guard<std::mutex> guard(mutex_);
    if (failTimer_) return false;
    ++counters_.timer_opens;
    open_ = true;
    return true;
  }
  void CloseTimer() override {
    std::lock_guard<std::mutex> guard(mutex_);
    if (open_) ++counters_.timer_closes;
    open_ = false;
  }
  bool TimerOpen() const override {
    std::lock_guard<std::mutex> guard(mutex_);
    return open_;
  }

  void ArmTimer(TimerDelay delay) override {
    std::lock_guard<std::mutex> guard(mutex_);
    if (delay == TimerDelay::zero()) {
      ++counters_.wake_arms;
      woken_ = true;
      wake_.notify_all();
      return;
    }
    ++counters_.arms;
    counters_.last_arm_delay = delay;
    due_ =
        now_.load() + static_cast<uint64_t>(delay.count()) * frequency_ / TimerDelay::period::den;
  }

  void WaitTimer() override {
    std::unique_lock<std::mutex> lock(mutex_);
    if (blockWaits_) {
      waiting_.store(true);
      wake_.wait(lock, [this] { return woken_; });
      waiting_.store(false);
      return;
    }
    const uint64_t woken = due_ + wakeLate_.load();
    if (woken > now_.load()) now_.store(woken);
  }

  void SpinPause() override { now_.fetch_add(1); }
  void SleepTwoMs() override {
    Count(&Counters::sleeps);
    now_.fetch_add(frequency_ / 500);
  }

  void* EnterThreadClass(bool realtime) override {
    std::lock_guard<std::mutex> guard(mutex_);
    ++counters_.thread_class_enters;
    counters_.last_realtime = realtime;
    return this;
  }
  void LeaveThreadClass(void*) override { Count(&Counters::thread_class_leaves); }

 private:
  void Count(int Counters::*field) {
    std::lock_guard<std::mutex> guard(mutex_);
    ++(counters_.*field);
  }

  const uint64_t frequency_;
  std::atomic<uint64_t> now_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  Counters counters_;
  uint64_t due_ = 0;
  bool open_ = false;
  bool woken_ = false;
  std::atomic<bool> failTimer_{false};
  std::atomic<uint64_t> wakeLate_{0};
  std::atomic<bool> blockWaits_{false};
  std::atomic<bool> waiting_{false};
};

}  // namespace tsl::testing

#include "pacing/pace_controller.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "support/fake_pace_platform.h"

namespace tsl {
namespace {

using testing::FakePacePlatform;

constexpr uint64_t kFreq = 10'000'000;
constexpr uint64_t kPeriod60 = 166'666;  // counts per tick at 60 fps on a 10 MHz counter

struct Tick {
  uint64_t index;
  uint64_t target;
  uint64_t wake;
};

// Collects the first `limit` ticks the controller issues on a fake clock. `cost` says how many
// counts the callback of a given tick takes; the clock is moved on by that much.
class TickRecorder {
 public:
  TickRecorder(FakePacePlatform* fake, size_t limit) : fake_(fake), limit_(limit) {}

  std::map<uint64_t, uint64_t> cost;           // tick index -> counts
  std::function<void(uint64_t tick)> on_tick;  // extra action inside the callback

  TickCallback Callback() {
    return [this](uint64_t tick, uint64_t target, uint64_t wake) {
      std::lock_guard<std::mutex> guard(mutex_);
      if (ticks_.size() >= limit_) return;
      ticks_.push_back({tick, target, wake});
      if (on_tick) on_tick(tick);
      const auto it = cost.find(tick);
      if (it != cost.end()) fake_->Advance(it->second);
      if (ticks_.size() == limit_) done_.notify_all();
    };
  }

  // Waits (bounded, so a broken controller fails instead of hanging) for the ticks.
  std::vector<Tick> Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    const bool got =
        done_.wait_for(lock, std::chrono::seconds(30), [this] { return ticks_.size() >= limit_; });
    EXPECT_TRUE(got) << "only " << ticks_.size() << " ticks arrived";
    return ticks_;
  }

 private:
  FakePacePlatform* fake_;
  size_t limit_;
  std::mutex mutex_;
  std::condition_variable done_;
  std::vector<Tick> ticks_;
};

struct Rig {
  FakePacePlatform* fake;
  PaceController controller;
  Rig() : Rig(std::make_unique<FakePacePlatform>()) {}
  explicit Rig(std::unique_ptr<FakePacePlatform> owned)
      : fake(owned.get()), controller(std::move(owned)) {}
};

TEST(PaceControllerTest, PeriodIsTruncatedReciprocalTimesFrequency) {
  struct Case {
    double fps;
    uint64_t counts;
  };
  for (const Case& c : {Case{60.0, 166'666}, Case{59.94, 166'833}, Case{50.0, 200'000},
                        Case{144.0, 69'444}, Case{240.0, 41'666}}) {
    EXPECT_EQ(PaceController::PeriodCounts(c.fps, kFreq), c.counts) << c.fps;
  }
}

TEST(PaceControllerTest, RefusedStartsChangeNothingAndDiscardTheCallables) {
  // 1e308 has a period of 0 counts: the pace thread would spin and count every tick missed.
  const double refused[] = {0.0,
                            -5.0,
                            std::numeric_limits<double>::quiet_NaN(),
                            std::numeric_limits<double>::infinity(),
                            -std::numeric_limits<double>::infinity(),
                            1e308,
                            PaceController::kMaxFps + 1.0,
                            1e-9,  // a tick every 30 years: its period overflows the timer's units
                            PaceController::kMinFps / 2.0};
  for (double fps : refused) {
    Rig rig;
    auto token = std::make_shared<int>(0);
    TickCallback cb = [token](uint64_t, uint64_t, uint64_t) {};
    VsyncActive vs = [token] { return false; };
    EXPECT_FALSE(rig.controller.Start(fps, std::move(cb), false, std::move(vs))) << fps;
    EXPECT_EQ(token.use_count(), 1) << "refused start kept a callable alive";
    EXPECT_FALSE(cb);
    EXPECT_FALSE(vs);
    const auto c = rig.fake->Counts();
    EXPECT_EQ(c.resolution_begins, 0);
    EXPECT_EQ(c.timer_opens, 0);
    rig.controller.Stop();
  }

  Rig rig;
  EXPECT_FALSE(rig.controller.Start(60.0, TickCallback{}, false, nullptr));
  EXPECT_EQ(rig.fake->Counts().resolution_begins, 0);
}

TEST(PaceControllerTest, NoTimerAtAllLowersTheResolutionAgain) {
  Rig rig;
  rig.fake->SetFailTimer(true);
  EXPECT_FALSE(rig.controller.Start(
      60.0, [](uint64_t, uint64_t, uint64_t) {}, false, nullptr));
  const auto c = rig.fake->Counts();
  EXPECT_EQ(c.resolution_begins, 1);
  EXPECT_EQ(c.resolution_ends, 1);
  EXPECT_EQ(c.thread_class_enters, 0);
}

// A timer that oversleeps by 1 ms: the first wakes come late (the margin starts at 0.5 ms), then
// the margin learns the overshoot plus its guard and the spin saves every tick again.
TEST(PaceControllerTest, TheEarlyWakeLearnsHowLateTheTimerWakes) {
  Rig rig;
  rig.fake->SetWakeLate(10'000);
  TickRecorder rec(rig.fake, 200);
  ASSERT_TRUE(rig.controller.Start(60.0, rec.Callback(), false, nullptr));
  const auto ticks = rec.Wait();
  rig.controller.Stop();
  EXPECT_EQ(ticks[1].wake, ticks[1].target + 5'000);  // 1 ms late, 0.5 ms early: 0.5 ms late
  for (size_t i = 100; i < ticks.size(); ++i) EXPECT_EQ(ticks[i].wake, ticks[i].target) << i;
  EXPECT_EQ(rig.controller.WakeMarginCounts(), 10'500);  // the overshoot and a 50 us guard
  EXPECT_EQ(rig.fake->Counts().last_arm_delay, TimerDelay(kPeriod60 - 10'500));
}

TEST(PaceControllerTest, TimerModeTargetsArePeriodApartAndWakeHalfAMillisecondEarly) {
  Rig rig;
  TickRecorder rec(rig.fake, 10);
  // After the tenth tick the next timer wait lasts until Stop: the controller cannot run on to
  // the 64 wakes after which the early wake follows what it learned of the timer.
  rec.on_tick = [&rig](uint64_t tick) {
    if (tick == 9) rig.fake->SetBlockWaits(true);
  };
  const uint64_t start = rig.fake->Now();
  ASSERT_TRUE(rig.controller.Start(60.0, rec.Callback(), false, nullptr));
  const auto ticks = rec.Wait();
  rig.controller.Stop();

  for (size_t i = 0; i < ticks.size(); ++i) {
    EXPECT_EQ(ticks[i].index, i);
    EXPECT_EQ(ticks[i].target, start + (i + 1) * kPeriod60);
    // The spin ends on the first reading at or past the target; the fake spin step is 1 count.
    EXPECT_EQ(ticks[i].wake, ticks[i].target);
  }
  const auto c = rig.fake->Counts();
  EXPECT_EQ(c.last_arm_delay, TimerDelay(kPeriod60 - 5'000));
  EXPECT_GE(c.arms, 10);
  EXPECT_EQ(c.thread_class_enters, 1);
  EXPECT_EQ(c.thread_class_leaves, 1);
  EXPECT_FALSE(c.last_realtime);
  EXPECT_EQ(c.resolution_begins, 1);
  EXPECT_EQ(c.resolution_ends, 1);
  EXPECT_EQ(c.timer_closes, 1);
  EXPECT_EQ(rig.controller.MissedTicks(), 0u);
}

TEST(PaceControllerTest, MeasuredRateIsZeroForTheFirstSecondThenSettlesAt60_0002) {
  Rig rig;
  TickRecorder rec(rig.fake, 200);
  std::vector<double> measured;
  rec.on_tick = [&](uint64_t) { measured.push_back(rig.controller.MeasuredFps()); };
  ASSERT_TRUE(rig.controller.Start(60.0, rec.Callback(), true, nullptr));
  rec.Wait();
  rig.controller.Stop();

  // Tick k is done at start + (k + 1) periods; the first window closes after tick 60 (61 ticks
  // exceed 10,000,000 counts), so ticks 0..60 still read 0.
  for (size_t i = 0; i <= 60; ++i) {
    EXPECT_EQ(measured[i], 0.0) << i;
  }
  EXPECT_NEAR(measured[61], 61.0 * 1e7 / (61.0 * kPeriod60), 1e-9);
  EXPECT_NEAR(measured[199], 60.00024, 1e-4);
  EXPECT_TRUE(rig.fake->Counts().last_realtime);
}

TEST(PaceControllerTest, TargetUnderHalfAMillisecondAwayIsReachedBySpinningAlone) {
  Rig rig;
  TickRecorder rec(rig.fake, 4);
  rec.cost[1] = kPeriod60 - 3'000;  // tick 2 is then 0.3 ms away
  int arms_before_tick2 = -1;
  rec.on_tick = [&](uint64_t tick) {
    if (tick == 1) arms_before_tick2 = rig.fake->Counts().arms;
    if (tick == 2) {
      EXPECT_EQ(rig.fake->Counts().arms, arms_before_tick2);
    }
  };
  const uint64_t start = rig.fake->Now();
  ASSERT_TRUE(rig.controller.Start(60.0, rec.Callback(), false, nullptr));
  const auto ticks = rec.Wait();
  rig.controller.Stop();
  EXPECT_EQ(ticks[2].target, start + 3 * kPeriod60);
  EXPECT_EQ(ticks[2].wake, ticks[2].target);
}

TEST(PaceControllerTest, LateTicksFireAtOnceAndOnlyMoreThanAPeriodLateResyncs) {
  struct Case {
    const char* name;
    uint64_t callback_cost;  // of tick 5, in counts
    uint64_t missed;
    uint64_t tick6_target_offset;  // from tick 5's target
    uint64_t tick7_target_offset;
  };
  const Case cases[] = {
      // 1.5 periods late: one miss, the schedule restarts at the late reading.
      {"1.5 late", 5 * kPeriod60 / 2, 1, 5 * kPeriod60 / 2, 5 * kPeriod60 / 2 + kPeriod60},
      // 0.9 periods late: no miss, the grid is kept and tick 7 follows 0.1 period later.
      {"0.9 late", 19 * kPeriod60 / 10, 0, kPeriod60, 2 * kPeriod60},
      // Many periods lost still count one miss.
      {"10 late", 11 * kPeriod60, 1, 11 * kPeriod60, 12 * kPeriod60},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    TickRecorder rec(rig.fake, 9);
    rec.cost[5] = c.callback_cost;
    ASSERT_TRUE(rig.controller.Start(60.0, rec.Callback(), false, nullptr));
    const auto t = rec.Wait();
    rig.controller.Stop();
    const uint64_t base = t[5].target;
    EXPECT_EQ(rig.controller.MissedTicks(), c.missed);
    EXPECT_EQ(t[6].target - base, c.tick6_target_offset);
    EXPECT_EQ(t[6].wake - base, c.callback_cost);  // fired at once
    EXPECT_EQ(t[7].target - base, c.tick7_target_offset);
    EXPECT_EQ(t[7].wake, t[7].target);
    EXPECT_EQ(t[8].target - t[7].target, kPeriod60);
  }
}

TEST(PaceControllerTest, VsyncModeTicksBackToBackAndSleepsAfterAQuickCallback) {
  Rig rig;
  TickRecorder rec(rig.fake, 6);
  rec.cost[0] = kPeriod60 / 4 - 1;  // quick: a 2 ms sleep follows
  rec.cost[1] = kPeriod60 / 4;      // a quarter period: no sleep
  rec.cost[2] = kPeriod60;          // a blocking present
  std::vector<int> sleeps_at_tick;
  rec.on_tick = [&](uint64_t) { sleeps_at_tick.push_back(rig.fake->Counts().sleeps); };
  ASSERT_TRUE(rig.controller.Start(60.0, rec.Callback(), false, [] { return true; }));
  const auto t = rec.Wait();
  rig.controller.Stop();

  for (const Tick& tick : t) {
    EXPECT_EQ(tick.target, tick.wake);
  }
  EXPECT_EQ(sleeps_at_tick[1], 1);  // after tick 0
  EXPECT_EQ(sleeps_at_tick[2], 1);  // none after tick 1
  EXPECT_EQ(sleeps_at_tick[3], 1);  // none after tick 2
  EXPECT_EQ(t[1].wake - t[0].wake, kPeriod60 / 4 - 1 + kFreq / 500);
  EXPECT_EQ(t[2].wake - t[1].wake, kPeriod60 / 4);
  EXPECT_EQ(t[3].wake - t[2].wake, kPeriod60);
  EXPECT_EQ(rig.fake->Counts().arms, 0);
}

TEST(PaceControllerTest, SwitchingVsyncOffSchedulesTheNextTickOnePeriodLater) {
  Rig rig;
  TickRecorder rec(rig.fake, 6);
  std::atomic<bool> vsync{true};
  rec.cost[2] = kPeriod60;         // the last vsync tick blocks for a period
  std::vector<CadenceMode> modes;  // as each tick sees it
  rec.on_tick = [&](uint64_t tick) {
    modes.push_back(rig.controller.Mode());
    if (tick == 2) vsync = false;
  };
  ASSERT_TRUE(rig.controller.Start(60.0, rec.Callback(), false, [&] { return vsync.load(); }));
  const auto t = rec.Wait();
  rig.controller.Stop();
  const std::vector<CadenceMode> expected = {CadenceMode::kEveryRefresh, CadenceMode::kEveryRefresh,
                                             CadenceMode::kEveryRefresh, CadenceMode::kTimer,
                                             CadenceMode::kTimer,        CadenceMode::kTimer};
  EXPECT_EQ(modes, expected);
  EXPECT_EQ(t[2].target, t[2].wake);
  const uint64_t end_of_tick2 = t[2].wake + kPeriod60;
  EXPECT_EQ(t[3].target, end_of_tick2 + kPeriod60);
  EXPECT_EQ(t[3].wake, t[3].target);
  EXPECT_EQ(t[4].target - t[3].target, kPeriod60);
}

// A display-locked schedule scripted call by call: each call's target lies `ahead` counts after
// the time asked, with `skipped` slots given up before it, and its wake `in_time` or not. Past
// the script it has nothing to lock to.
class ScriptedSchedule final : public TickSchedule {
 public:
  struct Slot {
    uint64_t ahead;
    uint64_t skipped;
    bool in_time;
    bool deferred = false;  // moved later at its wake: planned again
  };
  explicit ScriptedSchedule(std::vector<Slot> slots) : slots_(std::move(slots)) {}

  bool NextTarget(uint64_t now, uint64_t& target, uint64_t& skipped) override {
    if (next_ >= slots_.size()) return false;
    target = now + slots_[next_].ahead;
    skipped = slots_[next_].skipped;
    targets.push_back(target);
    return true;
  }
  bool Deferred(uint64_t) override {
    if (!slots_[next_].deferred) return false;
    ++next_;
    return true;
  }
  bool InTime(uint64_t) override { return slots_[next_++].in_time; }

  std::vector<uint64_t> targets;  // as handed out

 private:
  std::vector<Slot> slots_;
  size_t next_ = 0;
};

TEST(PaceControllerTest, ALockedScheduleSetsTheTargetsAndGivenUpSlotsCountAsMissed) {
  Rig rig;
  ScriptedSchedule schedule({{100'000, 0, true},       // 10 ms on: timer, then spin
                             {2'000, 0, true},         // 0.2 ms on: spin alone
                             {30'000, 0, true, true},  // moved later at its wake: no tick,
                                                       // nothing missed, planned again
                             {50'000, 2, true},        // two slots given up before it
                             {80'000, 0, false},       // woke too late: no tick
                             {60'000, 0, true}});      // then back to back (nothing to lock to)
  TickRecorder rec(rig.fake, 6);
  std::vector<CadenceMode> modes;  // as each tick sees it
  rec.on_tick = [&](uint64_t) { modes.push_back(rig.controller.Mode()); };
  rig.controller.SetSchedule(&schedule);
  ASSERT_TRUE(rig.controller.Start(60.0, rec.Callback(), false, [] { return true; }));
  const auto t = rec.Wait();
  rig.controller.Stop();
  // Four slots ticked (the fourth given up), then nothing to lock to.
  const std::vector<CadenceMode> expected = {CadenceMode::kLocked,  CadenceMode::kLocked,
                                             CadenceMode::kLocked,  CadenceMode::kLocked,
                                             CadenceMode::kNoClock, CadenceMode::kNoClock};
  EXPECT_EQ(modes, expected);

  ASSERT_EQ(schedule.targets.size(), 6u);
  const std::vector<uint64_t> ticked = {schedule.targets[0], schedule.targets[1],
                                        schedule.targets[3], schedule.targets[5]};
  for (size_t i = 0; i < ticked.size(); ++i) {
    EXPECT_EQ(t[i].index, i);
    EXPECT_EQ(t[i].target, ticked[i]) << "tick " << i;
    EXPECT_GE(t[i].wake, t[i].target);
    EXPECT_LT(t[i].wake - t[i].target, 10u) << "tick " << i;  // spun to the target
  }
  EXPECT_EQ(t[4].target, t[4].wake);  // back to back once the schedule has nothing
  EXPECT_EQ(rig.controller.MissedTicks(), 3u);
}

TEST(PaceControllerTest, StopIsHarmlessWhenNeverStartedOrRepeated) {
  Rig rig;
  rig.controller.Stop();
  rig.controller.Stop();
  auto c = rig.fake->Counts();
  EXPECT_EQ(c.resolution_ends, 0);
  EXPECT_EQ(c.wake_arms, 0);

  TickRecorder rec(rig.fake, 3);
  ASSERT_TRUE(rig.controller.Start(60.0, rec.Callback(), false, nullptr));
  rec.Wait();
  rig.controller.Stop();
  rig.controller.Stop();
  c = rig.fake->Counts();
  EXPECT_EQ(c.resolution_begins, 1);
  EXPECT_EQ(c.resolution_ends, 1);
  EXPECT_EQ(c.wake_arms, 1);
}

TEST(PaceControllerTest, StopWakesAThreadWaitingOnAFarTimer) {
  Rig rig;
  rig.fake->SetBlockWaits(true);
  int calls = 0;
  ASSERT_TRUE(rig.controller.Start(
      0.1, [&](uint64_t, uint64_t, uint64_t) { ++calls; }, false, nullptr));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!rig.fake->Waiting() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_TRUE(rig.fake->Waiting());
  rig.controller.Stop();  // would block for good if Stop did not fire the timer
  EXPECT_EQ(calls, 0);    // woken by the stop, not by the schedule: no tick
  EXPECT_EQ(rig.fake->Counts().thread_class_leaves, 1);
}

TEST(PaceControllerTest, StartWhileRunningIsRefusedAndRestartResetsTheCounters) {
  Rig rig;
  TickRecorder first(rig.fake, 5);
  first.cost[2] = 3 * kPeriod60;  // one miss
  ASSERT_TRUE(rig.controller.Start(60.0, first.Callback(), false, nullptr));
  first.Wait();
  int second_calls = 0;
  EXPECT_FALSE(rig.controller.Start(
      30.0, [&](uint64_t, uint64_t, uint64_t) { ++second_calls; }, false, nullptr));
  rig.controller.Stop();
  EXPECT_EQ(second_calls, 0);
  EXPECT_EQ(rig.controller.MissedTicks(), 1u);

  TickRecorder again(rig.fake, 3);
  uint64_t missed_at_start = 99;
  double measured_at_start = -1.0;
  again.on_tick = [&](uint64_t tick) {
    if (tick == 0) {
      missed_at_start = rig.controller.MissedTicks();
      measured_at_start = rig.controller.MeasuredFps();
    }
  };
  ASSERT_TRUE(rig.controller.Start(60.0, again.Callback(), false, nullptr));
  const auto t = again.Wait();
  rig.controller.Stop();
  EXPECT_EQ(missed_at_start, 0u);
  EXPECT_EQ(measured_at_start, 0.0);
  EXPECT_EQ(t[0].index, 0u);
  const auto c = rig.fake->Counts();
  EXPECT_EQ(c.resolution_begins, 2);
  EXPECT_EQ(c.resolution_ends, 2);
}

}  // namespace
}  // namespace tsl

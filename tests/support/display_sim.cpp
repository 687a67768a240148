#include "support/display_sim.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "pacing/pace_controller.h"

namespace tsl::sim {

namespace {
constexpr uint64_t kStart = 1'000'000'000;  // the counter's value when the simulation starts
constexpr uint32_t kRefreshJumpAtModeChange = 1000;

uint64_t Counts(double seconds) { return static_cast<uint64_t>(seconds * kFrequency); }
}  // namespace

DisplaySim::DisplaySim(const DisplayParams& display, const SourceParams& source,
                       const PaceParams& pace, uint64_t seed, double seconds)
    : display_(display), source_(source), pace_(pace), random_(seed) {
  if (display_.waitable) display_.max_latency = std::max<uint32_t>(1, display_.frame_latency);
  now_ = kStart;
  start_ = kStart;
  end_ = kStart + Counts(seconds);
  period_ = static_cast<double>(kFrequency) / display_.refresh_hz;
  ppmNow_ = display_.ppm;
  nextBlank_ = static_cast<double>(kStart) + display_.phase * period_;
  firstBlank_ = nextBlank_;
  nextRefresh_ = display_.first_refresh;
  nextId_ = display_.first_present_id + 1;

  // The source's signals up to the end, with its jitter and pauses.
  std::uniform_real_distribution<double> jitter(0.0, source_.jitter_us * 10.0);
  const double source_period = SourcePeriodS() * kFrequency;
  double t = static_cast<double>(kStart) + source_.start_s * kFrequency;
  double next_pause = source_.pause_every_s > 0.0 ? t + source_.pause_every_s * kFrequency : 1e300;
  uint64_t last = 0;
  while (t < static_cast<double>(end_)) {
    if (t >= next_pause) {
      t += source_.pause_s * kFrequency;
      next_pause += (source_.pause_every_s + source_.pause_s) * kFrequency;
      continue;
    }
    const auto signal = std::max(last + 1, static_cast<uint64_t>(t + jitter(random_)));
    signals_.push_back(signal);
    last = signal;
    t += source_period;
  }
}

uint64_t DisplaySim::WakeTime(uint64_t due) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  double late_us = 0.0;
  if (!pace_.wake_late_replay_us.empty()) {
    const size_t n = pace_.wake_late_replay_us.size();
    late_us = std::max(0.0, pace_.wake_late_replay_us[nextReplay_++ % n]);
  } else {
    late_us = unit(random_) < pace_.outlier_rate ? 500.0 + unit(random_) * 2500.0
                                                 : unit(random_) * pace_.wake_late_us;
  }
  return std::max(now_, due) + static_cast<uint64_t>(late_us * 10.0);
}

bool DisplaySim::Minimised() const {
  const double s = static_cast<double>(now_ - kStart) / kFrequency;
  return s >= pace_.minimised_from_s && s < pace_.minimised_to_s;
}

void DisplaySim::AdvanceTo(uint64_t t) {
  while (nextBlank_ <= static_cast<double>(t)) {
    now_ = std::max(now_, static_cast<uint64_t>(nextBlank_));
    Blank();
  }
  now_ = std::max(now_, t);
}

bool DisplaySim::Eligible(const PresentFate& p, uint64_t blank_qpc) const {
  return static_cast<double>(p.ready_qpc) + display_.latch_us * 10.0 <=
         static_cast<double>(blank_qpc);
}

void DisplaySim::DropReplaced(uint64_t blank_qpc) {
  // A sync-interval-0 present is replaced by a newer one that made this blank too.
  while (queue_.size() >= 2 && !queue_[0].latched && presents_[queue_[0].fate].sync_interval == 0 &&
         Eligible(presents_[queue_[1].fate], blank_qpc)) {
    presents_[queue_[0].fate].dropped = true;
    queue_.erase(queue_.begin());
  }
}

void DisplaySim::WriteOff() {
  for (const Queued& q : queue_) presents_[q.fate].dropped = true;
  queue_.clear();
}

void DisplaySim::Blank() {
  const auto blank_qpc = static_cast<uint64_t>(std::llround(nextBlank_));
  if (display_.disjoint_at_s >= 0.0 && !disjointDone_ &&
      blank_qpc >= kStart + Counts(display_.disjoint_at_s)) {
    // A mode change: what was queued is written off and the refresh count starts elsewhere.
    if (!queue_.empty()) writtenOff_.push_back(blank_qpc);
    WriteOff();
    disjointDone_ = true;
    disjointPending_ = true;
    nextRefresh_ += kRefreshJumpAtModeChange;
    if (display_.mode_change_hz > 0.0) {
      period_ = static_cast<double>(kFrequency) / display_.mode_change_hz;
      modeChangeQpc_ = blank_qpc;
    }
    if (display_.move_phase >= 0.0) {
      // Another monitor's blanks: this one is its first, and the next comes at its own phase.
      nextBlank_ += display_.move_phase * period_;
    }
    firstBlank_ = nextBlank_;
  }
  const uint32_t refresh = nextRefresh_++;
  const bool may_replace =
      !haveOnGlass_ ||
      refresh - onGlassSince_ >= std::max<uint32_t>(1, presents_[onGlass_].sync_interval);
  if (may_replace) {
    // Independent flip: the oldest present that made this blank's latch. Through the
    // compositor: the one it took at the blank before.
    if (!display_.composed) DropReplaced(blank_qpc);
    const bool ready =
        !queue_.empty() &&
        (display_.composed ? queue_[0].latched : Eligible(presents_[queue_[0].fate], blank_qpc));
    if (ready) {
      PresentFate& shown = presents_[queue_[0].fate];
      shown.shown = true;
      shown.first_refresh = refresh;
      shown.first_blank_qpc = blank_qpc;
      haveOnGlass_ = true;
      onGlass_ = queue_[0].fate;
      onGlassSince_ = refresh;
      ++imagesShown_;
      queue_.erase(queue_.begin());
    }
  }
  if (display_.composed && (queue_.empty() || !queue_[0].latched)) {
    // The compositor takes the next present at this blank, for the glass at the next one.
    DropReplaced(blank_qpc);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    if (!queue_.empty() && Eligible(presents_[queue_[0].fate], blank_qpc)) {
      if (display_.hiccup_rate > 0.0 && unit(random_) < display_.hiccup_rate) {
        // Only where the image on the glass was due to be replaced at the next blank does the
        // hiccup show: otherwise a present taken at the next blank comes as soon.
        const bool due =
            !haveOnGlass_ ||
            refresh + 1 - onGlassSince_ >= std::max<uint32_t>(1, presents_[onGlass_].sync_interval);
        if (due) hiccups_.push_back(blank_qpc);
      } else {
        queue_[0].latched = true;
      }
    }
  }
  Glass g{refresh, blank_qpc, 0, 0};
  if (haveOnGlass_) {
    PresentFate& on = presents_[onGlass_];
    ++on.refreshes;
    g.present_id = on.id;
    g.version = on.version;
  }
  glass_.push_back(g);
  std::uniform_real_distribution<double> noise(-display_.report_noise_us * 10.0,
                                               display_.report_noise_us * 10.0);
  lastReportedNoise_ = static_cast<uint64_t>(static_cast<int64_t>(noise(random_)));
  std::normal_distribution<double> walk(0.0, display_.ppm_walk);
  if (display_.ppm_walk > 0.0) ppmNow_ += walk(random_);
  nextBlank_ += period_ / (1.0 + ppmNow_ * 1e-6);
}

size_t DisplaySim::Waiting() const {
  // A sync-interval-0 present with a newer one behind it is discarded rather than shown: it
  // holds no place in the queue. One the compositor took has left the queue for it.
  size_t waiting = 0;
  for (size_t i = 0; i < queue_.size(); ++i) {
    if (queue_[i].latched) continue;
    if (i + 1 == queue_.size() || presents_[queue_[i].fate].sync_interval != 0) ++waiting;
  }
  return waiting;
}

void DisplaySim::BlockWhileFull() {
  while (Waiting() >= display_.max_latency) AdvanceTo(static_cast<uint64_t>(nextBlank_) + 1);
}

void DisplaySim::WaitUntilReady() {
  if (display_.waitable) BlockWhileFull();
}

double DisplaySim::Cost(double us) {
  if (pace_.cost_sigma <= 0.0) return us;
  std::lognormal_distribution<double> tail(0.0, pace_.cost_sigma);
  return us * tail(random_);
}

void DisplaySim::Draw() {
  double us = Cost(pace_.draw_us);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  if (pace_.stall_rate > 0.0 && unit(random_) < pace_.stall_rate)
    us += 2000.0 + 3000.0 * unit(random_);
  AdvanceUs(us);
}

void DisplaySim::Present(uint32_t sync_interval, uint64_t version, uint64_t taken_qpc) {
  AdvanceUs(Cost(pace_.present_us));
  BlockWhileFull();
  PresentFate fate;
  fate.id = nextId_++;
  fate.sync_interval = sync_interval;
  fate.version = version;
  fate.taken_qpc = taken_qpc;
  fate.present_qpc = now_;
  fate.ready_qpc = now_ + static_cast<uint64_t>(Cost(pace_.gpu_us) * 10.0);
  presents_.push_back(fate);
  queue_.push_back({presents_.size() - 1, false});
}

StatisticsRead DisplaySim::Statistics(FrameStatistics& stats) {
  if (!display_.statistics) return StatisticsRead::kUnavailable;
  if (!haveOnGlass_) return StatisticsRead::kDisjoint;  // nothing shown yet, as at first
  if (disjointPending_) {
    disjointPending_ = false;
    return StatisticsRead::kDisjoint;
  }
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  if (display_.zero_statistics_rate > 0.0 && unit(random_) < display_.zero_statistics_rate) {
    stats = FrameStatistics{};
    return StatisticsRead::kOk;
  }
  const Glass& latest = glass_.back();
  stats.sync_refresh_count = latest.refresh;
  stats.sync_qpc = latest.blank_qpc + lastReportedNoise_;
  stats.present_count = display_.present_count_is_id ? presents_[onGlass_].id : imagesShown_;
  stats.present_refresh_count = onGlassSince_;
  if (display_.says_composition) {
    stats.composition = display_.composed ? Composition::kComposed : Composition::kDirect;
  }
  return StatisticsRead::kOk;
}

bool DisplaySim::Newest(uint64_t& version, uint64_t& seen_qpc) const {
  const auto delay = static_cast<uint64_t>(source_.receive_delay_us * 10.0);
  if (now_ < delay) return false;
  const auto it = std::upper_bound(signals_.begin(), signals_.end(), now_ - delay);
  if (it == signals_.begin()) return false;
  version = static_cast<uint64_t>(it - signals_.begin());
  seen_qpc = *(it - 1) + delay;
  return true;
}

uint64_t DisplaySim::SignalTime(uint64_t version) const {
  return version >= 1 && version <= signals_.size() ? signals_[version - 1] : 0;
}

uint64_t DisplaySim::SeenTime(uint64_t version) const {
  const uint64_t signal = SignalTime(version);
  return signal == 0 ? 0 : signal + static_cast<uint64_t>(source_.receive_delay_us * 10.0);
}

BlankGrid DisplaySim::StatedGrid() const {
  BlankGrid grid;
  grid.source = display_.stated;
  grid.period_qpc = period_;
  grid.anchor_qpc = firstBlank_ + display_.stated_phase_error * period_;
  return grid;
}

double DisplaySim::RefreshHzAt(uint64_t blank_qpc) const {
  return blank_qpc >= modeChangeQpc_ ? display_.mode_change_hz : display_.refresh_hz;
}

const PresentFate* DisplaySim::Fate(uint32_t id) const {
  const uint32_t index = id - (display_.first_present_id + 1);
  return index < presents_.size() ? &presents_[index] : nullptr;
}

void SimPacePlatform::ArmTimer(TimerDelay delay) {
  if (delay == TimerDelay::zero()) {
    std::lock_guard<std::mutex> guard(mutex_);
    woken_ = true;
    changed_.notify_all();
    return;
  }
  due_ = sim_.Now() + static_cast<uint64_t>(delay.count());  // 100 ns is one count at 10 MHz
}

bool SimPacePlatform::HoldAtEnd() {
  if (!sim_.Finished()) return false;
  std::unique_lock<std::mutex> lock(mutex_);
  finished_ = true;
  changed_.notify_all();
  changed_.wait(lock, [this] { return woken_; });
  return true;
}

void SimPacePlatform::WaitTimer() {
  if (HoldAtEnd()) return;
  sim_.AdvanceTo(sim_.WakeTime(due_));
}

void SimPacePlatform::SleepTwoMs() {
  if (HoldAtEnd()) return;
  sim_.AdvanceUs(2000.0);
}

void SimPacePlatform::WaitUntilFinished() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return finished_; });
}

void SimOutput::Peek(OutputFrame& newest, OutputFrame& previous) {
  newest.taken = sim_.Newest(newest.version, newest.seen_qpc);
  previous.taken = newest.taken && newest.version >= 2;
  if (previous.taken) {
    previous.version = newest.version - 1;
    previous.seen_qpc = sim_.SeenTime(previous.version);
  }
}

PresentOutcome SimOutput::PresentFrame(uint32_t sync_interval, uint64_t version,
                                       OutputFrame& frame) {
  const uint64_t taken = sim_.Now();
  // As the frame slot: the newest frame at most `version`, else the older of the two it holds.
  frame.taken = sim_.Newest(frame.version, frame.seen_qpc);
  if (frame.taken && version < frame.version && frame.version >= 2) {
    frame.version -= 1;
    frame.seen_qpc = sim_.SeenTime(frame.version);
  }
  if (sim_.Minimised()) return PresentOutcome::kNothingToDraw;
  sim_.Draw();
  sim_.Present(sync_interval, frame.taken ? frame.version : 0, taken);
  return PresentOutcome::kMade;
}

namespace {

// Returns the simulated time the pace thread spun per tick, in microseconds.
double Drive(DisplaySim& sim, double fps, bool vsync, uint32_t sync_interval, PaceStats& stats,
             PresentTracker& tracker, DisplayLock* lock) {
  auto owned = std::make_unique<SimPacePlatform>(sim);
  SimPacePlatform& platform = *owned;
  SimOutput output(sim);
  TickPath path(stats, tracker, [&sim] { return sim.Now(); });
  path.Bind(&output);
  path.BindLock(lock);
  PaceController controller(std::move(owned));
  controller.SetSchedule(lock);
  controller.Start(
      fps,
      [&](uint64_t tick, uint64_t target, uint64_t wake) {
        if (sim.Finished()) return;
        path.Run(tick, target, wake, sync_interval);
        // What the main thread does when the pace thread asks for the display's timing again
        // (a disjoint: a mode change, perhaps), here at once.
        if (lock != nullptr && lock->TakeRestateRequest()) lock->SetStated(sim.StatedGrid());
      },
      false, [vsync] { return vsync; });
  platform.WaitUntilFinished();
  controller.Stop();
  const uint64_t ticks = controller.TicksIssued();
  return ticks == 0 ? 0.0 : platform.SpunUs() / static_cast<double>(ticks);
}

}  // namespace

double RunTicks(DisplaySim& sim, double fps, bool vsync, uint32_t sync_interval, PaceStats& stats,
                PresentTracker& tracker) {
  return Drive(sim, fps, vsync, sync_interval, stats, tracker, nullptr);
}

double RunLockedTicks(DisplaySim& sim, double fps, PaceStats& stats, PresentTracker& tracker,
                      CadenceStatus& status, uint32_t frame_latency) {
  DisplayLock lock(kFrequency, fps, frame_latency);
  lock.SetStated(sim.StatedGrid());
  const double spun = Drive(sim, fps, true, 1, stats, tracker, &lock);
  status = lock.Status();
  return spun;
}

}  // namespace tsl::sim

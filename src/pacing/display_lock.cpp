#include "pacing/display_lock.h"

#include <algorithm>
#include <cmath>

#include "base/qpc.h"

namespace tsl {

namespace {
// A wake (or a wait's end) this late past its target still goes ahead, whatever the tick costs.
constexpr double kOnTimeUs = 100.0;
}  // namespace

DisplayLock::DisplayLock(uint64_t frequency, double fps, uint32_t frame_latency)
    : frequency_(frequency),
      frameLatency_(frame_latency < 1 ? 1 : frame_latency),
      clock_(frequency),
      pattern_(frequency, fps),
      learner_(frequency) {}

void DisplayLock::SetStated(const BlankGrid& stated) {
  base::MutexLock guard(mutex_);
  clock_.SetStated(stated);
  Restart();
}

void DisplayLock::Restart() {
  haveSlot_ = false;
  deferred_ = false;
  judge_.Restart(Facts(), learner_);
}

bool DisplayLock::EveryWakeCounts() const {
  base::MutexLock guard(mutex_);
  return !Facts().held_by_interval;
}

bool DisplayLock::HasClock() const {
  base::MutexLock guard(mutex_);
  return clock_.Grid().Valid();
}

bool DisplayLock::NextTarget(uint64_t now, uint64_t& target, uint64_t& skipped) {
  base::MutexLock guard(mutex_);
  skipped = pendingMisses_;
  pendingMisses_ = 0;
  if (deferred_ && haveSlot_) {
    deferred_ = false;
    target = slot_.target_qpc;
    return true;
  }
  deferred_ = false;
  const BlankGrid grid = clock_.Grid();
  if (!grid.Valid()) {
    haveSlot_ = false;
    return false;
  }
  pattern_.Follow(grid.period_qpc);
  const LockFacts facts = Facts();
  const double lead = learner_.Lead() + facts.ahead;
  const LastPresent last{lastDone_ == 0 ? 0.0 : static_cast<double>(lastDone_) + learner_.Latch(),
                         lastSync_};
  const SlotPlan plan =
      PlanSlot(grid, pattern_.Pattern(), SlotBefore{haveSlot_, slot_.frame, slotBlank_}, last,
               static_cast<double>(now), lead, haveSlot_ ? judge_.TakeDrain() : 0);
  skipped += plan.given_up;
  if (plan.late) Miss();
  const double blank = plan.blank;
  slot_ = Slot(plan.frame, blank, grid, facts);
  if (facts.held_by_interval && judge_.TakeHold()) {
    // The queue ran empty: this image stays a refresh longer, and the next present waits behind
    // it as it should.
    slot_.sync_interval = std::min(LockFacts::kMostSyncInterval, slot_.sync_interval + 1);
  }
  // Two frames in flight where nothing says whether a compositor takes the presents: this one
  // may be made half a refresh early to find out (CompositionProbe).
  judge_.ProbeComposition(facts, learner_, grid, blank, slot_.target_qpc);
  slotBlank_ = blank;
  slotOnStatistics_ = grid.source == BlankSource::kStatistics;
  haveSlot_ = true;
  target = slot_.target_qpc;
  return true;
}

bool DisplayLock::CanMakeSlot(uint64_t now) const {
  // A typical tick's work, not the tail's: a tick that would likely still make its blank is
  // better presented (and, should it land late, counted as a slip) than certainly given up.
  // A tick whose work is slower than any lead allows is not late for waking on time: given
  // up, every slot would be, and nothing shown. It goes ahead and lands late (a slip).
  const double on_time = base::QpcFromUs(kOnTimeUs, frequency_);
  return static_cast<double>(now) + learner_.CostP50() + learner_.Latch() <= slotBlank_ ||
         static_cast<double>(now) <= static_cast<double>(slot_.target_qpc) + on_time;
}

bool DisplayLock::Deferred(uint64_t /*wake*/) {
  const auto can_defer = [this]() REQUIRES(mutex_) {
    // A frame of one refresh is not cut short by the next: it has no refresh to lose. An
    // uneven pattern keeps its phase: moved a refresh, every frame after would stand where
    // its neighbour should, and the late frame's next present comes at its own slot anyway.
    const RefreshPattern& pattern = pattern_.Pattern();
    return haveSlot_ && !Facts().held_by_interval && pattern.Shortest() > 1 && !pattern.Phased() &&
           clock_.Grid().source == BlankSource::kStatistics;
  };
  {
    base::MutexLock guard(mutex_);
    if (!can_defer() || !readLandings_) return false;
  }
  FrameStatistics stats;
  const StatisticsRead read = readLandings_(stats);
  base::MutexLock guard(mutex_);
  const BlankGrid grid = clock_.Grid();
  if (read != StatisticsRead::kOk || !can_defer() || !judge_.Overdue(stats, grid.period_qpc)) {
    return false;
  }
  // The image on the glass now is the one before the late present: the late one comes at the
  // next blank at the earliest. This tick's present, made for its own blank, would cut it a
  // refresh short; a refresh later the pattern goes on whole (frames of one length start it
  // at any blank).
  slotBlank_ = grid.Nearest(slotBlank_ + grid.period_qpc);
  slotOnStatistics_ = true;
  const uint64_t sample = slot_.sample_qpc;
  const LockFacts facts = Facts();
  slot_ = Slot(slot_.frame, slotBlank_, grid, facts);
  slot_.sample_qpc = sample;
  // Made at the longest lead: if the late one missed for a latch longer than the lead allows,
  // this one still makes its blank (a hiccup's costs nothing more than an early present).
  slot_.target_qpc = static_cast<uint64_t>(std::llround(slotBlank_ - facts.ceiling));
  deferred_ = true;
  return true;
}

bool DisplayLock::InTime(uint64_t wake) {
  base::MutexLock guard(mutex_);
  const bool in_time = CanMakeSlot(wake);
  if (!in_time) Miss();
  return in_time;
}

bool DisplayLock::StillInTime(uint64_t now) {
  base::MutexLock guard(mutex_);
  if (!haveSlot_) return true;
  // The same test as at the wake, now that the swap chain's wait is over: a wait that ended at
  // (or after) the blank this tick aimed for would make this present, and every one after it,
  // a refresh late. Given up, one image stays a refresh more and the queue drains. A wait that
  // ended about when the tick was due is no reason (a tick slower than any lead goes ahead).
  if (CanMakeSlot(now)) return true;
  Miss();
  ++pendingMisses_;
  return false;
}

bool DisplayLock::TickAt(uint64_t target_qpc, LockedTick& tick) const {
  base::MutexLock guard(mutex_);
  if (!haveSlot_ || slot_.target_qpc != target_qpc) return false;
  tick = slot_;
  return true;
}

void DisplayLock::Miss() { learner_.Miss(Facts().ceiling); }

void DisplayLock::OnPresented(bool made, uint32_t present_id, uint64_t wake_qpc,
                              uint64_t done_qpc) {
  base::MutexLock guard(mutex_);
  const auto cost = static_cast<double>(static_cast<int64_t>(done_qpc - wake_qpc));
  const auto late = static_cast<double>(static_cast<int64_t>(wake_qpc - slot_.target_qpc));
  const LockFacts facts = Facts();
  learner_.OnTick(cost, late, !facts.held_by_interval, facts.ceiling);
  judge_.OnPresented(made, present_id, slot_.blank_qpc, done_qpc, slotOnStatistics_);
  if (made) {
    lastDone_ = done_qpc;
    lastSync_ = slot_.sync_interval;
  }
}

void DisplayLock::OnStatistics(StatisticsRead read, const FrameStatistics& stats) {
  base::MutexLock guard(mutex_);
  if (read == StatisticsRead::kDisjoint) {
    // A new history: the refresh counts (and perhaps the mode) changed. Before the first image
    // was shown every call answers this; only a disjoint after statistics is news.
    if (clock_.Grid().source == BlankSource::kStatistics) restateWanted_.store(true);
    clock_.RestartReports();
    Restart();
    return;
  }
  if (read != StatisticsRead::kOk || stats.sync_qpc == 0) return;
  clock_.AddReport(stats.sync_refresh_count, stats.sync_qpc);
  const BlankGrid grid = clock_.Grid();
  // Against a stated grid (of any phase) a landing says nothing of the latch or the delay.
  if (grid.source == BlankSource::kStatistics) judge_.Judge(stats, grid, Facts(), learner_);
}

CadenceStatus DisplayLock::Status() const {
  base::MutexLock guard(mutex_);
  CadenceStatus status;
  const BlankGrid grid = clock_.Grid();
  status.locked = grid.Valid();
  status.source = grid.source;
  if (status.locked) {
    status.refresh_hz = base::QpcHz(grid.period_qpc, frequency_);
    // The pattern the schedule uses, not one made afresh from the rate: near the snap's edge
    // the two can differ.
    status.pattern = pattern_.Label(status.refresh_hz);
    status.above_refresh = pattern_.AboveRefresh(status.refresh_hz);
  }
  status.slips = judge_.Slips();
  status.lead_ms = base::QpcToMs(learner_.Lead(), frequency_);
  status.latch_ms = base::QpcToMs(learner_.Latch(), frequency_);
  status.frame_latency = frameLatency_;
  return status;
}

}  // namespace tsl

#include "pacing/display_lock.h"

#include <algorithm>
#include <cmath>

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
constexpr double kLeastCeilingUs = 2000.0;
// The longest lead, as a share of a refresh: a present made earlier than that could reach the
// blank before its own (and ticks slower than a refresh slip whatever the lead).
constexpr double kCeilingShare = 0.8;
constexpr size_t kWindow = 512;     // the recent ticks the floor is learned from
constexpr size_t kLearnEvery = 32;  // ticks between learnings
// The slowest tick of each learning's block is kept this many blocks: 8,192 ticks, over two
// minutes at 60 Hz.
constexpr size_t kTailBlocks = 256;
constexpr size_t kSentKept = 16;
// A slot this many frames in the past is no schedule to continue: the lock was not used
// meanwhile (timer mode, or no grid), and starts afresh.
constexpr double kStaleFrames = 4.0;
// The longest a present's sync interval may be (the swap chain's limit).
constexpr uint32_t kMostSyncInterval = 4;
// A change of the grid's period this large makes a new pattern.
constexpr double kPatternRefit = 0.001;
// A present done this long before its blank cannot have missed it for the latch (no display's
// is this long): if it still reached the glass a refresh later, the compositor put it there.
constexpr double kSurelyInTimeUs = 3000.0;
// Ticks without a slip that taught the latch anything before what slips taught comes halfway
// back to the assumed latch: about ten minutes at 60 Hz, so that a real long latch costs a slip
// that rarely, and one slow present does not keep the lead long for good.
constexpr uint64_t kLatchDecayTicks = 36'000;
// Ticks without a slip before what slips added to the floor halves: two and a half minutes at
// 60 Hz, so that a tail that slips a present every few minutes stays covered.
constexpr uint64_t kSlipGuardHalfLife = 9'000;
// Landings in time, the queue settled, before a present is made to learn whether a compositor
// takes the presents (with two frames in flight, where the platform does not say).
constexpr uint32_t kLandingsBeforeCompositionProbe = 8;

// Of a copy: the recent costs and lateness keep their order for the rings they are.
double Percentile(std::vector<double> v, double q) { return base::PercentileNearestBelow(v, q); }
}  // namespace

DisplayLock::DisplayLock(uint64_t frequency, double fps, uint32_t frame_latency)
    : frequency_(frequency),
      fps_(fps),
      frameLatency_(frame_latency < 1 ? 1 : frame_latency),
      clock_(frequency),
      lead_(kStartLeadUs * static_cast<double>(frequency) / 1e6),
      latch_(kAssumedLatchUs * static_cast<double>(frequency) / 1e6),
      floor_(0.0),
      costs_(kWindow),
      lateness_(kWindow),
      blockCosts_(kTailBlocks),
      sent_(kSentKept) {}

void DisplayLock::SetStated(const BlankGrid& stated) {
  std::lock_guard<std::mutex> guard(mutex_);
  clock_.SetStated(stated);
  Restart();
}

void DisplayLock::Restart() {
  haveSlot_ = false;
  // A new mode or grid does not take the window from its compositor: with two frames in flight
  // what the probe found stands (a refresh early, the landings ask again). Else the landings
  // start over.
  if (!compositionKnown_) delay_ = 0;
  refillAfterRestart_ = compositionKnown_ && HeldByInterval();
  if (probing_) lead_ = leadBeforeProbe_;
  lead_ = std::min(lead_, Ceiling());  // a new mode may have a shorter refresh
  probing_ = false;
  drain_ = false;
  hold_ = false;
  compositionProbeId_ = 0;
  compositionProbeNext_ = false;
  inTimeLandings_ = 0;
  for (Sent& s : sent_.Values()) s.judged = true;
}

bool DisplayLock::WantsCompositionProbe(const BlankGrid& grid) const {
  return HeldByInterval() && !toldComposition_ && !compositionKnown_ &&
         grid.source == BlankSource::kStatistics && compositionProbeId_ == 0 &&
         !compositionProbeNext_ && !drain_ && !hold_ && !probing_ && delay_ == 0 &&
         inTimeLandings_ >= kLandingsBeforeCompositionProbe &&
         // Made half a refresh before its blank, it is done before the next tick's target and
         // in time for the latch.
         lead_ + costP99_ < grid.period_qpc / 2.0 && latch_ + costP99_ < grid.period_qpc / 2.0;
}

bool DisplayLock::EveryWakeCounts() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return !HeldByInterval();
}

bool DisplayLock::HeldByInterval() const {
  return frameLatency_ > 1 && pattern_.Longest() <= kMostSyncInterval;
}

double DisplayLock::Ahead(const BlankGrid& grid) const {
  return HeldByInterval() ? static_cast<double>(frameLatency_ - 1) * grid.period_qpc : 0.0;
}

void DisplayLock::FollowGrid(const BlankGrid& grid) {
  if (patternPeriodQpc_ > 0.0 &&
      std::fabs(grid.period_qpc / patternPeriodQpc_ - 1.0) <= kPatternRefit) {
    return;
  }
  pattern_ = RefreshPattern(static_cast<double>(frequency_) / grid.period_qpc, fps_);
  patternPeriodQpc_ = grid.period_qpc;
}

LockedTick DisplayLock::Slot(uint64_t frame, double blank, const BlankGrid& grid) const {
  LockedTick t;
  t.frame = frame;
  t.blank_qpc = static_cast<uint64_t>(std::llround(blank));
  const double lead = lead_ + Ahead(grid);
  t.target_qpc = static_cast<uint64_t>(std::llround(blank - lead));
  const double even = (pattern_.EvenOffsetOf(frame) - pattern_.EvenOffsetMost()) * grid.period_qpc;
  t.sample_qpc = static_cast<uint64_t>(std::llround(blank + even - lead));
  t.refreshes = pattern_.RefreshesOf(frame);
  t.sync_interval = HeldByInterval() ? t.refreshes : 1;
  return t;
}

bool DisplayLock::HasClock() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return clock_.Grid().Valid();
}

bool DisplayLock::NextTarget(uint64_t now, uint64_t& target, uint64_t& skipped) {
  std::lock_guard<std::mutex> guard(mutex_);
  skipped = pendingMisses_;
  pendingMisses_ = 0;
  const BlankGrid grid = clock_.Grid();
  if (!grid.Valid()) {
    haveSlot_ = false;
    return false;
  }
  FollowGrid(grid);
  const double period = grid.period_qpc;
  const auto t = static_cast<double>(now);
  const double frame_qpc = pattern_.RefreshesPerFrame() * period;
  const double lead = lead_ + Ahead(grid);
  uint64_t frame = 0;
  double blank = 0.0;
  if (!haveSlot_ || t > slotBlank_ + kStaleFrames * frame_qpc) {
    blank = grid.AtOrAfter(t + lead);
  } else {
    frame = slot_.frame + 1;
    blank = grid.Nearest(slotBlank_ + pattern_.RefreshesOf(slot_.frame) * period);
  }
  if (drain_ && haveSlot_) {
    // A queue one image too deep (two frames in flight, one landed late): this slot is given
    // up, so the image on the glass stays a refresh more and the queue is back to its depth.
    drain_ = false;
    ++skipped;
    blank = grid.Nearest(blank + pattern_.RefreshesOf(frame) * period);
    ++frame;
  }
  // A slot whose time has passed is given up: the schedule never moves to "now". Frames of one
  // length may take the next blank of the grid (any blank starts the pattern as well); an
  // uneven pattern takes its next slot, so the frames after it keep their place in the 2-3.
  const uint64_t given_up = skipped;
  if (blank - lead < t) {
    ++skipped;
    if (pattern_.Shortest() == pattern_.Longest() && pattern_.Snapped()) {
      blank = grid.AtOrAfter(t + lead);
      ++frame;
    } else {
      while (blank - lead < t) {
        blank = grid.Nearest(blank + pattern_.RefreshesOf(frame) * period);
        ++frame;
      }
    }
  }
  if (skipped > given_up) Miss();
  slot_ = Slot(frame, blank, grid);
  if (hold_ && HeldByInterval()) {
    // The queue ran empty: this image stays a refresh longer, and the next present waits behind
    // it as it should.
    slot_.sync_interval = std::min(kMostSyncInterval, slot_.sync_interval + 1);
    hold_ = false;
  }
  if (WantsCompositionProbe(grid)) {
    // Two frames in flight through a compositor need each present a refresh before the blank
    // the compositor takes it at, so the queue is a refresh deeper than on an independent flip;
    // the landings alone cannot tell the two apart (each depth lands steadily), and the
    // platform did not say. This present is made well inside its own refresh: after the blank
    // a compositor would take it at, in time for the glass itself. Its frame is chosen as
    // before. Through a compositor it lands a refresh late (one repeat, once); the queue is
    // then as deep as a compositor needs.
    slot_.target_qpc = static_cast<uint64_t>(std::llround(blank - grid.period_qpc / 2.0));
    compositionProbeNext_ = true;
  }
  slotBlank_ = blank;
  haveSlot_ = true;
  target = slot_.target_qpc;
  return true;
}

bool DisplayLock::InTime(uint64_t wake) {
  std::lock_guard<std::mutex> guard(mutex_);
  // A typical tick's work, not the tail's: a tick that would likely still make its blank is
  // better presented (and, should it land late, counted as a slip) than certainly given up.
  // A tick whose work is slower than any lead allows is not late for waking on time: given
  // up, every slot would be, and nothing shown. It goes ahead and lands late (a slip).
  const double on_time = kFloorGuardUs * static_cast<double>(frequency_) / 1e6;
  const bool in_time = static_cast<double>(wake) + costP50_ + latch_ <= slotBlank_ ||
                       static_cast<double>(wake) <= static_cast<double>(slot_.target_qpc) + on_time;
  if (!in_time) Miss();
  return in_time;
}

bool DisplayLock::StillInTime(uint64_t now) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (!haveSlot_) return true;
  // The same test as at the wake, now that the swap chain's wait is over: a wait that ended at
  // (or after) the blank this tick aimed for would make this present, and every one after it,
  // a refresh late. Given up, one image stays a refresh more and the queue drains. A wait that
  // ended about when the tick was due is no reason (a tick slower than any lead goes ahead).
  const double on_time = kFloorGuardUs * static_cast<double>(frequency_) / 1e6;
  if (static_cast<double>(now) + costP50_ + latch_ <= slotBlank_ ||
      static_cast<double>(now) <= static_cast<double>(slot_.target_qpc) + on_time) {
    return true;
  }
  Miss();
  ++pendingMisses_;
  return false;
}

bool DisplayLock::TickAt(uint64_t target_qpc, LockedTick& tick) const {
  std::lock_guard<std::mutex> guard(mutex_);
  if (!haveSlot_ || slot_.target_qpc != target_qpc) return false;
  tick = slot_;
  return true;
}

double DisplayLock::SurelyInTime() const {
  return std::min(kSurelyInTimeUs * static_cast<double>(frequency_) / 1e6, 0.8 * Ceiling());
}

double DisplayLock::Ceiling() const {
  const BlankGrid grid = clock_.Grid();
  return std::max(kLeastCeilingUs * static_cast<double>(frequency_) / 1e6,
                  grid.Valid() ? kCeilingShare * grid.period_qpc : 0.0);
}

void DisplayLock::Miss() {
  lead_ = std::min(Ceiling(), lead_ + kMissStepUs * static_cast<double>(frequency_) / 1e6);
  clean_ = 0;
}

void DisplayLock::FollowLatch() {
  const double assumed = kAssumedLatchUs * static_cast<double>(frequency_) / 1e6;
  const double guard = kLatchGuardUs * static_cast<double>(frequency_) / 1e6;
  double latch = haveLanded_ ? std::min(assumed, landedLatch_) : assumed;
  if (slipLatch_ > 0.0) latch = std::max(latch, slipLatch_ + guard);
  latch_ = std::min(Ceiling(), latch);
}

void DisplayLock::Learn() {
  costP50_ = Percentile(costs_.Values(), 0.5);
  costP99_ = Percentile(costs_.Values(), 0.995);
  blockCosts_.Push(blockCostMost_);
  blockCostMost_ = 0.0;
  // With one frame in flight a tick slower than the lead is a repeat on the glass, so the lead
  // covers the slowest tick of the last few minutes (a stall a thousand ticks apart included),
  // as far as the ceiling allows. With two, the refresh ahead absorbs the tail.
  double cost = costP99_;
  if (!HeldByInterval()) {
    for (const double most : blockCosts_.Values()) cost = std::max(cost, most);
  }
  floor_ = std::min(Ceiling(), latch_ + cost + Percentile(lateness_.Values(), 0.999) +
                                   kFloorGuardUs * static_cast<double>(frequency_) / 1e6 +
                                   slipGuard_);
  lead_ = std::max(lead_, floor_);
}

void DisplayLock::OnPresented(bool made, uint32_t present_id, uint64_t wake_qpc,
                              uint64_t done_qpc) {
  std::lock_guard<std::mutex> guard(mutex_);
  const auto cost = static_cast<double>(static_cast<int64_t>(done_qpc - wake_qpc));
  const auto late = static_cast<double>(static_cast<int64_t>(wake_qpc - slot_.target_qpc));
  costs_.Push(cost);
  blockCostMost_ = std::max(blockCostMost_, cost);
  lateness_.Push(late);
  if (++samples_ % kLearnEvery == 0) Learn();
  // What slips taught of the latch halves over each long clean stretch: one slow present, or a
  // grid that was still settling, does not keep the lead long for good.
  if (++sinceLatchSlip_ >= kLatchDecayTicks && slipLatch_ > 0.0) {
    const double assumed = kAssumedLatchUs * static_cast<double>(frequency_) / 1e6;
    slipLatch_ = slipLatch_ > assumed ? (slipLatch_ + assumed) / 2.0 : 0.0;
    sinceLatchSlip_ = 0;
    FollowLatch();
  }
  if (++sinceSlipGuard_ >= kSlipGuardHalfLife && slipGuard_ > 0.0) {
    slipGuard_ = slipGuard_ > kMissStepUs * static_cast<double>(frequency_) / 1e6 / 4.0
                     ? slipGuard_ / 2.0
                     : 0.0;
    sinceSlipGuard_ = 0;
  }
  if (compositionProbeNext_) {
    compositionProbeNext_ = false;
    if (made) compositionProbeId_ = present_id;
  }
  if (made) {
    const Sent s{present_id, slot_.blank_qpc, done_qpc, false};
    lastSentId_ = present_id;
    sent_.Push(s);
  }
  // Clean stretches bring the lead back down towards what the ticks need: half the way each
  // time, at least a small step.
  if (++clean_ >= kCleanTicks) {
    const double step =
        std::max((lead_ - floor_) / 2.0, kShortenStepUs * static_cast<double>(frequency_) / 1e6);
    lead_ = std::max(floor_, lead_ - step);
    clean_ = 0;
  }
}

void DisplayLock::OnStatistics(StatisticsRead read, const FrameStatistics& stats) {
  std::lock_guard<std::mutex> guard(mutex_);
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
  Landed(stats);
}

void DisplayLock::Landed(const FrameStatistics& stats) {
  const BlankGrid grid = clock_.Grid();
  // Against a stated grid (of any phase) a landing says nothing of the latch or the delay.
  if (grid.source != BlankSource::kStatistics) return;
  // No latch is this long: a present done this early that still reached the glass later than
  // its blank was put there by the compositor, not missed (with one frame in flight: with two,
  // it may have queued behind a late one).
  const double surely = SurelyInTime();
  for (Sent& s : sent_.Values()) {
    if (s.judged || s.id != stats.present_count) continue;
    s.judged = true;
    const auto behind =
        static_cast<int32_t>(stats.sync_refresh_count - stats.present_refresh_count);
    const double landed = static_cast<double>(stats.sync_qpc) - behind * grid.period_qpc;
    const auto delay = static_cast<int64_t>(
        std::llround((landed - static_cast<double>(s.blank_qpc)) / grid.period_qpc));
    // How long before its blank the present was done.
    const double before = static_cast<double>(static_cast<int64_t>(s.blank_qpc - s.done_qpc));
    const bool probe = probing_ && static_cast<int32_t>(s.id - probeFromId_) > 0;
    // Where the platform says how the image was composed, the delay is what it says, and a
    // landing later than that slipped: nothing needs telling apart.
    const bool told = stats.composition != Composition::kUnknown;
    const int64_t said = stats.composition == Composition::kComposed ? 1 : 0;
    toldComposition_ = told;
    if (compositionProbeId_ != 0 && static_cast<int32_t>(s.id - compositionProbeId_) >= 0) {
      // Made too late for a compositor's blank and early enough for its own: where it landed
      // (or, if the statistics passed it by, where the first one after it did: those queue
      // behind it) says which display this is.
      compositionProbeId_ = 0;
      if (delay == 0 || delay == 1) {
        delay_ = delay;
        compositionKnown_ = true;
      }
      inTimeLandings_ = 0;
      continue;
    }
    if (delay < (told ? said : 0)) {
      // A refresh early: with two frames in flight the queue ran empty (at the start, after a
      // drain), or a compositor took the present as soon as it was made, and each present shows
      // at the blank before its own. One present held a refresh longer by its sync interval
      // fills the queue again; those made before it land early too.
      if (HeldByInterval() && static_cast<int32_t>(s.id - holdThroughId_) > 0) {
        hold_ = true;
        holdThroughId_ = lastSentId_ + 1;
      }
      continue;
    }
    if (told) {
      delay_ = said;
    } else if (delay + 1 == delay_ && refillAfterRestart_) {
      // A landing a refresh early before any in time since a restart: what was queued was
      // written off (a mode change, a move), or drained after presents made either side of
      // the restart queued too deep, not the compositor gone. Refilled as at the start (those
      // made before the refill land early too).
      if (static_cast<int32_t>(s.id - holdThroughId_) > 0) {
        hold_ = true;
        holdThroughId_ = lastSentId_ + 1;
      }
      continue;
    } else if (delay < delay_) {
      delay_ = delay;  // the compositor has stepped aside, or the queue ran short: ask again
      compositionKnown_ = false;
      inTimeLandings_ = 0;
    }
    if (delay <= delay_) {
      refillAfterRestart_ = false;
      ++inTimeLandings_;
      // In time: the latch is at most this margin (with one frame in flight: with two, the
      // margin includes the refresh the present waited in the queue).
      if (!HeldByInterval()) {
        landedLatch_ = haveLanded_ ? std::min(landedLatch_, before) : before;
        haveLanded_ = true;
      }
      if (probe) {
        // The probe made its blank: the present that started it did miss. A slip.
        probing_ = false;
        Slipped(probeCause_);
      }
      FollowLatch();
      continue;
    }
    inTimeLandings_ = 0;
    if (told && !probing_) {
      if (HeldByInterval()) {
        // Those made before the drain queued behind the late one: one drain for them all.
        if (static_cast<int32_t>(s.id - drainThroughId_) <= 0) continue;
        ++slips_;
        drain_ = true;
        drainThroughId_ = lastSentId_;
      } else if (before < latch_) {
        SlowTickSlipped();  // done too late for the latch believed: its cost, not the latch
      } else {
        leadBeforeProbe_ = lead_;
        Slipped(before);
      }
      continue;
    }
    if (probe || (!HeldByInterval() && !probing_ && before >= surely)) {
      // Made after the probe began (or too early to have missed), and late all the same: the
      // compositor adds this delay.
      delay_ = delay;
      compositionKnown_ = delay == 1;
      if (probing_) lead_ = std::min(Ceiling(), leadBeforeProbe_);
      probing_ = false;
      continue;
    }
    if (probing_) continue;  // made before the probe began: the probe will tell
    if (!HeldByInterval() && before < latch_) {
      // Done later than the latch believed allows (a slow draw, a stall): it missed for that,
      // which says nothing of the latch or a compositor.
      SlowTickSlipped();
      continue;
    }
    // Later than the delay believed: a miss, or a compositor. The presents made from now on
    // tell which: with one frame in flight they are made at the longest lead; with two, one
    // slot is given up first so that a queue one image too deep drains.
    probing_ = true;
    probeCause_ = before;
    probeFromId_ = lastSentId_;
    leadBeforeProbe_ = lead_;
    if (!HeldByInterval()) {
      lead_ = Ceiling();
    } else {
      drain_ = true;
    }
  }
}

void DisplayLock::Slipped(double before) {
  ++slips_;
  if (HeldByInterval()) {
    // Two frames in flight: each present is made a refresh ahead and queues behind the one
    // before, so a slip says the queue was too deep, not how long the latch is.
    lead_ = std::max(lead_, std::min(Ceiling(), leadBeforeProbe_));
    return;
  }
  // Made this long before its blank, it was still too late for it: the latch is more than that,
  // unless a present made as late as this has landed (then the latch did not do it: a
  // compositor's hiccup, say).
  if (!haveLanded_ || before < landedLatch_) {
    slipLatch_ = std::max(slipLatch_, before);
    sinceLatchSlip_ = 0;
    FollowLatch();
  }
  lead_ = std::min(Ceiling(), leadBeforeProbe_);
  Miss();
  lead_ = std::max(lead_, latch_);
  --slips_;
  SlowTickSlipped();
}

void DisplayLock::SlowTickSlipped() {
  ++slips_;
  // Work after the present (the GPU's) and a latch that varies are not in the ticks' costs: a
  // slip is their tail showing. Each raises the floor a step, for minutes.
  const double step = kMissStepUs * static_cast<double>(frequency_) / 1e6;
  slipGuard_ = std::min(Ceiling(), slipGuard_ + step);
  sinceSlipGuard_ = 0;
  floor_ = std::min(Ceiling(), floor_ + step);
  lead_ = std::max(lead_, floor_);
}

CadenceStatus DisplayLock::Status() const {
  std::lock_guard<std::mutex> guard(mutex_);
  CadenceStatus status;
  const BlankGrid grid = clock_.Grid();
  status.locked = grid.Valid();
  status.source = grid.source;
  if (status.locked) {
    status.refresh_hz = static_cast<double>(frequency_) / grid.period_qpc;
    // The pattern the schedule uses (made for the grid it last refitted to), not one made
    // afresh from the rate: near the snap's edge the two can differ.
    status.pattern = patternPeriodQpc_ > 0.0 ? pattern_.Label()
                                             : RefreshPattern(status.refresh_hz, fps_).Label();
    status.above_refresh = fps_ > status.refresh_hz * (1.0 + RefreshPattern::kSnapTolerance);
  }
  status.slips = slips_;
  status.lead_ms = lead_ * 1000.0 / static_cast<double>(frequency_);
  status.latch_ms = latch_ * 1000.0 / static_cast<double>(frequency_);
  status.frame_latency = frameLatency_;
  return status;
}

}  // namespace tsl

#include "pacing/landing_judge.h"

#include <algorithm>
#include <cmath>

namespace tsl {

namespace {
constexpr size_t kSentKept = 16;
// Landings in time, the queue settled, before a present is made to learn whether a compositor
// takes the presents (with two frames in flight, where the platform does not say).
constexpr uint32_t kLandingsBeforeCompositionProbe = 8;

// When the image the statistics name first reached the glass: the latest blank, less the
// refreshes it has been there since.
double LandedAt(const FrameStatistics& stats, double period) {
  const auto behind = static_cast<int32_t>(stats.sync_refresh_count - stats.present_refresh_count);
  return static_cast<double>(stats.sync_qpc) - behind * period;
}
}  // namespace

LandingJudge::LandingJudge() : sent_(kSentKept) {}

void LandingJudge::Restart(const LockFacts& facts, LeadLearner& learner) {
  // A new mode or grid does not take the window from its compositor: with two frames in flight
  // what the probe found stands (a refresh early, the landings ask again). Else the landings
  // start over.
  if (!composition_.Known()) delay_ = 0;
  refillAfterRestart_ = composition_.Known() && facts.held_by_interval;
  if (probing_) learner.SetLead(leadBeforeProbe_);
  // A new mode may have a shorter refresh.
  learner.SetLead(std::min(learner.Lead(), facts.ceiling));
  probing_ = false;
  drain_ = 0;
  hold_ = false;
  composition_.Restart();
  inTimeLandings_ = 0;
  for (Sent& s : sent_.Values()) s.judged = true;
}

void LandingJudge::ProbeComposition(const LockFacts& facts, const LeadLearner& learner,
                                    const BlankGrid& grid, double blank, uint64_t& target) {
  const bool settled = drain_ == 0 && !hold_ && !probing_ && delay_ == 0 &&
                       inTimeLandings_ >= kLandingsBeforeCompositionProbe;
  if (composition_.Wanted(facts, learner, grid, settled)) {
    target = composition_.Schedule(blank, grid.period_qpc);
  }
}

void LandingJudge::OnPresented(bool made, uint32_t present_id, uint64_t blank_qpc,
                               uint64_t done_qpc, bool on_statistics) {
  composition_.OnPresented(made, present_id);
  if (made) {
    const Sent s{present_id, blank_qpc, done_qpc, !on_statistics};
    lastSentId_ = present_id;
    sent_.Push(s);
  }
}

uint32_t LandingJudge::TakeDrain() {
  const uint32_t refreshes = drain_;
  drain_ = 0;
  return refreshes;
}

void LandingJudge::Drain(int64_t refreshes) {
  drain_ = static_cast<uint32_t>(std::max<int64_t>(1, refreshes));
}

bool LandingJudge::TakeHold() {
  if (!hold_) return false;
  hold_ = false;
  return true;
}

void LandingJudge::Refill(uint32_t id) {
  if (static_cast<int32_t>(id - holdThroughId_) <= 0) return;
  hold_ = true;
  holdThroughId_ = lastSentId_ + 1;
}

bool LandingJudge::Overdue(const FrameStatistics& stats, double period) {
  const size_t n = sent_.Size();
  if (n < 2) return false;
  const Sent& last = sent_.Oldest(n - 1);
  const Sent& before = sent_.Oldest(n - 2);
  // Not while a probe asks what a late landing was, nor again before a present has landed in
  // time: a latch longer than believed makes every present late, and moving the ticks does not
  // mend that (the lead must).
  if (last.id == overdueId_ || probing_ || inTimeLandings_ == 0) return false;
  const double due = static_cast<double>(last.blank_qpc) + static_cast<double>(delay_) * period;
  bool late = false;
  if (stats.present_count == last.id) {
    // On the glass since a later blank than it was due.
    late = LandedAt(stats, period) > due + period / 2.0;
  } else if (stats.present_count == before.id) {
    // The one before still there, read after the blank it was due. (Only where the statistics
    // name presents by their ids.)
    late = static_cast<double>(stats.sync_qpc) >= due - period / 4.0;
  }
  if (late) overdueId_ = last.id;
  return late;
}

void LandingJudge::Judge(const FrameStatistics& stats, const BlankGrid& grid,
                         const LockFacts& facts, LeadLearner& learner) {
  // No latch is this long: a present done this early that still reached the glass later than
  // its blank was put there by the compositor, not missed (with one frame in flight: with two,
  // it may have queued behind a late one).
  const double surely = facts.surely;
  for (Sent& s : sent_.Values()) {
    if (s.judged || s.id != stats.present_count) continue;
    s.judged = true;
    const double landed = LandedAt(stats, grid.period_qpc);
    const auto delay = static_cast<int64_t>(
        std::llround((landed - static_cast<double>(s.blank_qpc)) / grid.period_qpc));
    // How long before its blank the present was done.
    const double before = static_cast<double>(static_cast<int64_t>(s.blank_qpc - s.done_qpc));
    const bool probe = probing_ && static_cast<int32_t>(s.id - probeFromId_) > 0;
    // Where the platform says how the image was composed, the delay is what it says, and a
    // landing later than that slipped: nothing needs telling apart.
    const bool told = stats.composition != Composition::kUnknown;
    const int64_t said = stats.composition == Composition::kComposed ? 1 : 0;
    composition_.Told(told);
    if (composition_.Answers(s.id)) {
      // Made too late for a compositor's blank and early enough for its own: where it landed
      // (or, if the statistics passed it by, where the first one after it did: those queue
      // behind it) says which display this is.
      if (delay == 0 || delay == 1) {
        delay_ = delay;
        composition_.SetKnown(true);
      }
      inTimeLandings_ = 0;
      continue;
    }
    if (delay < (told ? said : 0)) {
      // A refresh early: with two frames in flight the queue ran empty (at the start, after a
      // drain), or a compositor took the present as soon as it was made, and each present shows
      // at the blank before its own. One present held a refresh longer by its sync interval
      // fills the queue again; those made before it land early too.
      if (facts.held_by_interval) Refill(s.id);
      continue;
    }
    if (told) {
      delay_ = said;
    } else if (delay + 1 == delay_ && refillAfterRestart_) {
      // A landing a refresh early before any in time since a restart: what was queued was
      // written off (a mode change, a move), or drained after presents made either side of
      // the restart queued too deep, not the compositor gone. Refilled as at the start (those
      // made before the refill land early too).
      Refill(s.id);
      continue;
    } else if (delay < delay_) {
      delay_ = delay;  // the compositor has stepped aside, or the queue ran short: ask again
      composition_.SetKnown(false);
      inTimeLandings_ = 0;
    }
    if (delay <= delay_) {
      refillAfterRestart_ = false;
      ++inTimeLandings_;
      // In time: the latch is at most this margin (with one frame in flight: with two, the
      // margin includes the refresh the present waited in the queue).
      if (!facts.held_by_interval) learner.Landed(before);
      if (probe) {
        // The probe made its blank: the present that started it did miss. A slip.
        probing_ = false;
        Slipped(probeCause_, facts, learner);
      }
      learner.FollowLatch(facts.ceiling);
      continue;
    }
    inTimeLandings_ = 0;
    if (told && !probing_) {
      if (facts.held_by_interval) {
        // Those made before the drain queued behind the late one: one drain for them all.
        if (static_cast<int32_t>(s.id - drainThroughId_) <= 0) continue;
        ++slips_;
        Drain(delay - delay_);
        drainThroughId_ = lastSentId_;
      } else if (before < learner.Latch()) {
        // Done too late for the latch believed: its cost, not the latch.
        SlowTickSlipped(facts, learner);
      } else {
        leadBeforeProbe_ = learner.Lead();
        Slipped(before, facts, learner);
      }
      continue;
    }
    if (probe && facts.held_by_interval && delay > 1) {
      // No compositor holds a present more than a refresh: the queue is still too deep. The
      // schedule moves on by all but the refresh a compositor might add, and the presents
      // after that tell again.
      Drain(delay - 1);
      drainThroughId_ = lastSentId_;
      probeFromId_ = lastSentId_;
      continue;
    }
    if (probe || (!facts.held_by_interval && !probing_ && before >= surely)) {
      // Made after the probe began (or too early to have missed), and late all the same: the
      // compositor adds this delay (a refresh; anything more slipped as well).
      delay_ = std::min<int64_t>(delay, 1);
      composition_.SetKnown(delay_ == 1);
      if (probing_) learner.SetLead(std::min(facts.ceiling, leadBeforeProbe_));
      probing_ = false;
      continue;
    }
    if (probing_) continue;  // made before the probe began: the probe will tell
    if (!facts.held_by_interval && before < learner.Latch()) {
      // Done later than the latch believed allows (a slow draw, a stall): it missed for that,
      // which says nothing of the latch or a compositor.
      SlowTickSlipped(facts, learner);
      continue;
    }
    // Later than the delay believed: a miss, or a compositor. The presents made from now on
    // tell which: with one frame in flight they are made at the longest lead; with two, the
    // schedule first moves as many refreshes later as this one landed late, so that a queue
    // too deep drains (a compositor's refresh then shows as a late landing again).
    probing_ = true;
    probeCause_ = before;
    probeFromId_ = lastSentId_;
    leadBeforeProbe_ = learner.Lead();
    if (!facts.held_by_interval) {
      learner.SetLead(facts.ceiling);
    } else {
      // The whole lateness, as on a flip: had a compositor added a refresh of it, the presents
      // made once the schedule moved land that refresh late again, and say so. (Leaving that
      // refresh in the queue instead, a flip whose queue was that much too deep would be taken for
      // a compositor, and stay a refresh late for good.)
      Drain(delay - delay_);
    }
  }
}

void LandingJudge::Slipped(double before, const LockFacts& facts, LeadLearner& learner) {
  ++slips_;
  if (facts.held_by_interval) {
    // Two frames in flight: each present is made a refresh ahead and queues behind the one
    // before, so a slip says the queue was too deep, not how long the latch is.
    learner.SetLead(std::max(learner.Lead(), std::min(facts.ceiling, leadBeforeProbe_)));
    return;
  }
  learner.LatchSlipped(before, leadBeforeProbe_, facts.ceiling);
}

void LandingJudge::SlowTickSlipped(const LockFacts& facts, LeadLearner& learner) {
  ++slips_;
  learner.SlowTickSlipped(facts.ceiling);
}

}  // namespace tsl

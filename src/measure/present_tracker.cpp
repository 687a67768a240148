#include "measure/present_tracker.h"

#include "measure/present_placement.h"

namespace tsl {

namespace {

bool AllZero(const FrameStatistics& s) {
  return s.present_count == 0 && s.present_refresh_count == 0 && s.sync_refresh_count == 0 &&
         s.sync_qpc == 0;
}

}  // namespace

void PresentTracker::OnPresent(uint64_t tick, uint32_t present_id, uint32_t sync_interval,
                               uint64_t seen_qpc, uint64_t present_qpc, const PresentAim& aim) {
  base::MutexLock guard(mutex_);
  // The same id again (or an older one) is no new present: the count only moves with one.
  if (havePresent_ && static_cast<int32_t>(present_id - newestId_) <= 0) return;
  const uint64_t number =
      havePresent_ ? newestNumber_ + static_cast<uint32_t>(present_id - newestId_) : present_id;
  DisplayRecord r;
  r.tick = tick;
  r.present_id = present_id;
  r.sync_interval = sync_interval;
  r.seen_qpc = seen_qpc;
  r.present_qpc = present_qpc;
  r.aim = aim;
  r.state = unavailable_ ? DisplayState::kNotMeasured : DisplayState::kPending;
  records_[{chain_, number}] = r;
  reading_.OnPresent(sync_interval);
  havePresent_ = true;
  newestId_ = present_id;
  newestNumber_ = number;
  while (records_.size() > capacity_) records_.erase(records_.begin());
}

void PresentTracker::OnNewSwapChain() {
  base::MutexLock guard(mutex_);
  for (auto& [key, r] : records_) {
    if (key.first == chain_ && r.state == DisplayState::kPending) {
      r.state = DisplayState::kNotMeasured;
    }
  }
  ++chain_;
  havePresent_ = false;
  haveSample_ = false;
  havePlaced_ = false;
  retiredAny_ = false;
  periodQpc_ = 0.0;
  reading_.Restart();
}

void PresentTracker::OnStatistics(StatisticsRead read, const FrameStatistics& s) {
  base::MutexLock guard(mutex_);
  if (unavailable_) return;
  if (read == StatisticsRead::kUnavailable) {
    unavailable_ = true;
    for (auto& [key, r] : records_) {
      if (r.state == DisplayState::kPending) r.state = DisplayState::kNotMeasured;
    }
    return;
  }
  if (read == StatisticsRead::kDisjoint) {
    // A new history: refresh counts (and the rate) may have jumped, so nothing placed before
    // is a reference for what comes next.
    haveSample_ = false;
    havePlaced_ = false;
    periodQpc_ = 0.0;
    return;
  }
  if (AllZero(s)) return;  // happens, and says nothing
  if (haveSample_) {
    const uint32_t refreshes = s.sync_refresh_count - last_.sync_refresh_count;
    if (refreshes > 0 && s.sync_qpc > last_.sync_qpc) {
      periodQpc_ = static_cast<double>(s.sync_qpc - last_.sync_qpc) / refreshes;
    }
    if (havePresent_) reading_.OnSample(last_, s, newestId_);
  }
  Resolve(s);
  last_ = s;
  haveSample_ = true;
}

void PresentTracker::Resolve(const FrameStatistics& s) {
  Retired retired;
  if (!Retire(s, retired)) return;
  // A count placed as an id while it may count images would place presents at refreshes they
  // never reached.
  if (!reading_.NamesPresents()) {
    // A count of images says which presents have left the queue, not which was shown when.
    for (auto it = retired.first; it != retired.last; ++it) {
      if (it->second.state == DisplayState::kPending) it->second.state = DisplayState::kUnplaced;
    }
    return;
  }
  Judge(retired, RunIsExact(retired, s.present_refresh_count), s);
  havePlaced_ = true;
  placedNumber_ = retired.newest_shown;
  placedRefresh_ = s.present_refresh_count;
}

bool PresentTracker::Retire(const FrameStatistics& s, Retired& retired) {
  if (!havePresent_) return false;
  // PresentCount as a number of this chain: an id not made here yet is not one of ours.
  const auto behind = static_cast<int32_t>(newestId_ - s.present_count);
  if (behind < 0 || static_cast<uint64_t>(behind) > newestNumber_) return false;
  const uint64_t newest_shown = newestNumber_ - static_cast<uint64_t>(behind);
  if (retiredAny_ && newest_shown <= retiredThrough_) return false;  // nothing new left the queue
  // Only what left the queue since the last sample is new here.
  retired.first = retiredAny_ ? records_.upper_bound({chain_, retiredThrough_})
                              : records_.lower_bound({chain_, 0});
  retired.last = records_.upper_bound({chain_, newest_shown});
  retired.newest_shown = newest_shown;
  retiredAny_ = true;
  retiredThrough_ = newest_shown;
  return true;
}

bool PresentTracker::RunIsExact(const Retired& retired, uint32_t refresh) const {
  const uint64_t since = havePlaced_ ? retired.newest_shown - placedNumber_ : 0;
  if (!havePlaced_ || since == 0) return false;
  const auto placed = records_.find({chain_, placedNumber_});
  if (placed == records_.end() || placed->second.sync_interval < 1) return false;
  uint64_t span = placed->second.sync_interval;
  uint64_t seen = 0;
  for (auto it = records_.upper_bound({chain_, placedNumber_}); it != retired.last; ++it) {
    if (it->second.sync_interval < 1) return false;
    if (it->first.second != retired.newest_shown) span += it->second.sync_interval;
    ++seen;
  }
  return seen == since && span == static_cast<uint32_t>(refresh - placedRefresh_);
}

void PresentTracker::Judge(const Retired& retired, bool exact, const FrameStatistics& s) {
  const uint32_t refresh = s.present_refresh_count;
  const uint64_t newest_shown = retired.newest_shown;
  // The image on the screen just before the one being placed, while every present since is
  // accounted for (placed, or known never to have been shown); null once one is not.
  DisplayRecord* before = nullptr;
  if (havePlaced_) {
    const auto it = records_.find({chain_, placedNumber_});
    if (it != records_.end() &&
        (it->second.state == DisplayState::kShown || it->second.state == DisplayState::kLate)) {
      before = &it->second;
    }
  }
  uint64_t expected = placedNumber_ + 1;  // the number the next record must have to follow on
  for (auto it = retired.first; it != retired.last; ++it) {
    DisplayRecord& r = it->second;
    const uint64_t number = it->first.second;
    if (havePlaced_ && number != expected) before = nullptr;  // a present we have no record of
    expected = number + 1;
    if (r.state != DisplayState::kPending) continue;
    const bool placed = number == newest_shown || (exact && number > placedNumber_);
    if (!placed) {
      // Images reach the screen only at a blank. A sync-interval-0 present whose first possible
      // blank is no earlier than the one at which a newer present was first shown was replaced
      // before it could be: never shown. Anything else left the queue at a time not known.
      const bool replaced =
          r.sync_interval == 0 && periodQpc_ > 0.0 &&
          static_cast<int32_t>(FirstBlankAfterCall(r, s, periodQpc_) - refresh) >= 0;
      r.state = replaced ? DisplayState::kNeverShown : DisplayState::kUnplaced;
      if (!replaced) before = nullptr;
      continue;
    }
    // Where the image before it is placed, one sync interval after it; else (the first of a
    // history) the refresh the sample gives.
    uint32_t at = refresh;
    if (number != newest_shown) {
      uint32_t from = placedRefresh_;
      for (auto p = records_.find({chain_, placedNumber_}); p != it; ++p) {
        from += p->second.sync_interval;
      }
      at = from;
    }
    PlacePresent(r, at, before, s, periodQpc_);
    // How long the image before stayed: until this one replaced it.
    if (before != nullptr) before->refreshes_on_screen = at - before->refresh;
    before = &r;
  }
}

std::vector<DisplayRecord> PresentTracker::Records() const {
  base::MutexLock guard(mutex_);
  std::vector<DisplayRecord> out;
  out.reserve(records_.size());
  for (const auto& [key, r] : records_) out.push_back(r);
  return out;
}

void PresentTracker::Recent(size_t count, std::vector<DisplayRecord>& out) const {
  base::MutexLock guard(mutex_);
  out.clear();
  auto from = records_.end();
  for (size_t i = 0; i < count && from != records_.begin(); ++i) --from;
  for (; from != records_.end(); ++from) out.push_back(from->second);
}

bool PresentTracker::Measuring() const {
  base::MutexLock guard(mutex_);
  return !unavailable_;
}

PresentCountReading PresentTracker::Reading() const {
  base::MutexLock guard(mutex_);
  return reading_.Reading();
}

}  // namespace tsl

#include "render/present_tracker.h"

#include <cmath>

namespace tsl {

const char* DisplayStateName(DisplayState state) {
  switch (state) {
    case DisplayState::kPending:
      return "pending";
    case DisplayState::kShown:
      return "shown";
    case DisplayState::kLate:
      return "late";
    case DisplayState::kNeverShown:
      return "never shown";
    case DisplayState::kNotMeasured:
      break;
  }
  return "not measured";
}

void PresentTracker::OnPresent(uint64_t tick, uint32_t present_id, uint32_t sync_interval,
                               uint64_t published_qpc, uint64_t present_qpc) {
  std::lock_guard<std::mutex> guard(mutex_);
  DisplayRecord r;
  r.tick = tick;
  r.present_id = present_id;
  r.sync_interval = sync_interval;
  r.published_qpc = published_qpc;
  r.present_qpc = present_qpc;
  r.state = unavailable_ ? DisplayState::kNotMeasured : DisplayState::kPending;
  records_.push_back(r);
  if (unavailable_) first_pending_ = records_.size();
  while (records_.size() > capacity_) {
    records_.pop_front();
    if (first_pending_ > 0) --first_pending_;
    if (have_last_shown_) {
      if (last_shown_ == 0) {
        have_last_shown_ = false;
      } else {
        --last_shown_;
      }
    }
  }
}

void PresentTracker::OnStatistics(StatisticsRead read, const FrameStatistics& s) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (unavailable_) return;
  if (read == StatisticsRead::kUnavailable) {
    unavailable_ = true;
    measured_ = false;
    for (size_t i = first_pending_; i < records_.size(); ++i) {
      records_[i].state = DisplayState::kNotMeasured;
    }
    first_pending_ = records_.size();
    return;
  }
  if (read == StatisticsRead::kDisjoint) {
    // A new history: the next sample is a first one again, and the refresh rate may differ.
    have_sample_ = false;
    have_last_shown_ = false;
    period_qpc_ = 0.0;
    return;
  }
  if (s.present_count == 0 && s.present_refresh_count == 0 && s.sync_refresh_count == 0 &&
      s.sync_qpc == 0) {
    return;  // happens, and says nothing
  }
  measured_ = true;
  if (!have_sample_) {
    // Nothing to count from yet: what was presented before this sample cannot be told apart.
    for (size_t i = first_pending_; i < records_.size(); ++i) {
      if (records_[i].present_qpc <= s.sync_qpc) {
        records_[i].state = DisplayState::kNotMeasured;
        first_pending_ = i + 1;
      }
    }
    have_sample_ = true;
    last_ = s;
    return;
  }
  const uint32_t refreshes = s.sync_refresh_count - last_.sync_refresh_count;
  if (refreshes > 0 && s.sync_qpc > last_.sync_qpc) {
    period_qpc_ = static_cast<double>(s.sync_qpc - last_.sync_qpc) / refreshes;
  }
  if (s.present_count != last_.present_count) Resolve(s);
  last_ = s;
}

void PresentTracker::Resolve(const FrameStatistics& s) {
  const uint32_t shown = s.present_count - last_.present_count;  // images shown since the last
  const uint32_t behind = s.sync_refresh_count - s.present_refresh_count;
  uint64_t screen_qpc = 0;
  if (behind == 0) {
    screen_qpc = s.sync_qpc;
  } else if (period_qpc_ > 0.0) {
    screen_qpc = s.sync_qpc - static_cast<uint64_t>(std::llround(behind * period_qpc_));
  }

  // The presents still pending that were made before the newest image reached the screen,
  // oldest first.
  std::vector<size_t> candidates;
  for (size_t i = first_pending_; i < records_.size(); ++i) {
    if (records_[i].state != DisplayState::kPending) continue;
    if (screen_qpc == 0 || records_[i].present_qpc < screen_qpc) candidates.push_back(i);
  }
  if (candidates.empty()) return;

  // More presents than images: a sync-interval-0 present may have been replaced by a newer one
  // before it was shown (the oldest of them first); what is left over beyond that is still
  // queued behind the images shown (sync interval 1 and more queue in order) and stays pending.
  size_t surplus = candidates.size() > shown ? candidates.size() - shown : 0;
  std::vector<size_t> batch;
  for (size_t index : candidates) {
    if (surplus > 0 && records_[index].sync_interval == 0) {
      records_[index].state = DisplayState::kNeverShown;
      --surplus;
    } else {
      batch.push_back(index);
    }
  }
  if (batch.size() > shown) batch.resize(shown);

  for (size_t b = 0; b < batch.size(); ++b) {
    DisplayRecord& r = records_[batch[b]];
    const uint32_t before = static_cast<uint32_t>(batch.size() - 1 - b);
    r.refresh = s.present_refresh_count - before;
    if (screen_qpc != 0 && (before == 0 || period_qpc_ > 0.0)) {
      r.display_qpc = screen_qpc - static_cast<uint64_t>(std::llround(before * period_qpc_));
    }
    // The earliest refresh it could have reached: the next after its present (where the period
    // is known), and its sync interval after the image before it. Later than both is late.
    bool known = false;
    uint32_t earliest = 0;
    if (period_qpc_ > 0.0) {
      const double since = static_cast<double>(static_cast<int64_t>(r.present_qpc - s.sync_qpc));
      earliest = s.sync_refresh_count +
                 static_cast<uint32_t>(static_cast<int64_t>(std::floor(since / period_qpc_))) + 1;
      known = true;
    }
    if (have_last_shown_) {
      DisplayRecord& previous = records_[last_shown_];
      previous.refreshes_on_screen = r.refresh - previous.refresh;
      const uint32_t after_previous =
          previous.refresh + (r.sync_interval > 0 ? r.sync_interval : 1);
      if (!known || static_cast<int32_t>(after_previous - earliest) > 0) earliest = after_previous;
      known = true;
    }
    const bool late = known && static_cast<int32_t>(r.refresh - earliest) > 0;
    r.state = late ? DisplayState::kLate : DisplayState::kShown;
    have_last_shown_ = true;
    last_shown_ = batch[b];
  }
  while (first_pending_ < records_.size() &&
         records_[first_pending_].state != DisplayState::kPending) {
    ++first_pending_;
  }
}

std::vector<DisplayRecord> PresentTracker::Records() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return {records_.begin(), records_.end()};
}

double PresentTracker::RefreshPeriodQpc() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return period_qpc_;
}

bool PresentTracker::Measured() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return measured_ && !unavailable_;
}

}  // namespace tsl

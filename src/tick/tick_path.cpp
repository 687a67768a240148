#include "tick/tick_path.h"

namespace tsl {

PresentResult TickPath::Run(uint64_t tick, uint64_t target_qpc, uint64_t wake_qpc,
                            uint32_t sync_interval, const std::function<bool()>& before_take) {
  PresentResult result;
  LockedTick locked;
  const bool is_locked = lock_ != nullptr && lock_->TickAt(target_qpc, locked);
  if (is_locked) sync_interval = locked.sync_interval;
  // The wait comes first, so the frame taken after it is the newest at the last moment.
  output_->WaitUntilReady();
  const bool taken_for_tick = before_take && before_take();
  if (is_locked && !lock_->StillInTime(now_())) {
    // Too late for its blank after the waits: no present, the image on the glass stays.
    result.repeated = lastVersion_ != 0;
    result.version = lastVersion_;
    stats_.Record({tick, target_qpc, wake_qpc, now_(), result.repeated, result.version});
    ReadStatistics();
    return result;
  }
  uint64_t want = FramePicker::kNewest;
  if (is_locked && !taken_for_tick) {
    OutputFrame newest;
    OutputFrame previous;
    output_->Peek(newest, previous);
    if (previous.taken) picker_.Seen(previous.version, previous.seen_qpc);
    if (newest.taken) picker_.Seen(newest.version, newest.seen_qpc);
    want = picker_.Pick(locked.sample_qpc, lastVersion_, newest.taken ? newest.version : 0);
  }
  OutputFrame frame;
  const PresentOutcome outcome = output_->PresentFrame(sync_interval, want, frame);
  result.present_made = outcome == PresentOutcome::kMade;
  if (frame.taken) {
    result.version = frame.version;
    result.seen_qpc = frame.seen_qpc;
    // A tick whose draw or present failed presented nothing: it is neither a present nor a hold.
    if (outcome != PresentOutcome::kFailed) {
      result.frame_counted = true;
      result.repeated = lastVersion_ == frame.version;
      lastVersion_ = frame.version;
      if (result.repeated) repeatCount_.fetch_add(1);
      presentCount_.fetch_add(1);
    }
  }
  const uint64_t done_qpc = now_();
  stats_.Record({tick, target_qpc, wake_qpc, done_qpc, result.repeated, result.version});
  // What reached the screen: the present's id now (blanks too: they take an id and a refresh),
  // the display's statistics every tick.
  uint32_t present_id = 0;
  const bool have_id = result.present_made && output_->LastPresentId(present_id);
  PresentAim aim;
  if (is_locked) aim = {locked.blank_qpc, locked.target_qpc, locked.refreshes};
  if (have_id) {
    tracker_.OnPresent(tick, present_id, sync_interval, result.seen_qpc, done_qpc, aim);
  }
  if (is_locked) lock_->OnPresented(have_id, present_id, wake_qpc, done_qpc);
  ReadStatistics();
  return result;
}

void TickPath::ReadStatistics() {
  FrameStatistics statistics;
  Deliver(output_->ReadStatistics(statistics), statistics);
}

void TickPath::Deliver(StatisticsRead read, const FrameStatistics& stats) {
  tracker_.OnStatistics(read, stats);
  if (lock_ != nullptr) lock_->OnStatistics(read, stats);
}

StatisticsRead TickPath::WakeStatistics(FrameStatistics& stats) {
  const StatisticsRead read = output_->ReadStatistics(stats);
  if (read != StatisticsRead::kOk) Deliver(read, stats);
  return read;
}

}  // namespace tsl

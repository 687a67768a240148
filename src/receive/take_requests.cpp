#include "receive/take_requests.h"

namespace tsl {

void TakeRequests::Open() {
  std::lock_guard<std::mutex> guard(mutex_);
  open_ = true;
}

void TakeRequests::Close() {
  std::lock_guard<std::mutex> guard(mutex_);
  open_ = false;
  changed_.notify_all();
}

bool TakeRequests::AskAndWait(std::chrono::microseconds wait) {
  std::unique_lock<std::mutex> lock(mutex_);
  const uint64_t ticket = ++asked_;
  changed_.notify_all();
  // Bounded: a sender holding its access lock must not hold up the output. The tick then shows
  // the frame before, and the take is published for the next one.
  return changed_.wait_for(lock, wait, [&] { return served_ >= ticket || !open_; });
}

uint64_t TakeRequests::WaitForAsk(std::chrono::milliseconds quiet, bool& unserved) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait_for(lock, quiet, [&] { return asked_ > served_ || !open_; });
  unserved = asked_ > served_;
  return asked_;
}

bool TakeRequests::Unserved() {
  std::lock_guard<std::mutex> guard(mutex_);
  return asked_ > served_;
}

void TakeRequests::Served(uint64_t asked) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (asked <= served_) return;
  served_ = asked;
  changed_.notify_all();
}

}  // namespace tsl

#include "receive/sender_pick.h"

#include <algorithm>

namespace tsl {

std::string SenderPick::Choose(const std::vector<std::string>& listed, const std::string& active,
                               int64_t now_ms) {
  const auto at = std::find(listed.begin(), listed.end(), current_);
  const bool known = !current_.empty() && (at != listed.end() || current_ == active);
  if (!known) {
    // Nothing picked yet, or the pick left the list: start again from the head.
    current_ = !listed.empty() ? listed.front() : active;
    sinceMs_ = now_ms;
    return current_;
  }
  if (now_ms - sinceMs_ < kPatienceMs) return current_;

  // Given up on: the active sender if it is another, else the next listed name after it.
  std::string next;
  if (!active.empty() && active != current_) {
    next = active;
  } else if (at != listed.end()) {
    const auto after = std::next(at);
    next = after != listed.end() ? *after : listed.front();
  } else if (!listed.empty()) {
    next = listed.front();
  }
  if (!next.empty()) current_ = next;
  sinceMs_ = now_ms;
  return current_;
}

}  // namespace tsl

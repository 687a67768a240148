#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tsl {

// Which sender to follow when none was asked for. The first listed sender is tried first, and
// the active one when none is listed. A name that then does not connect for a while (its
// segment cannot be opened, its texture never arrives) is given up for the active sender, or
// else for the next listed name, so one dead entry at the head of the list cannot hold the
// receiver for good.
class SenderPick {
 public:
  // How long a picked name may go without a connection before the pick moves on.
  static constexpr int64_t kPatienceMs = 2'000;

  // At a scan while not connected: the name to point the receiver at ("" when there is none).
  std::string Choose(const std::vector<std::string>& listed, const std::string& active,
                     int64_t now_ms);
  // On every pass that is connected: the current name is working.
  void Connected(int64_t now_ms) { sinceMs_ = now_ms; }

 private:
  std::string current_;
  int64_t sinceMs_ = 0;
};

}  // namespace tsl

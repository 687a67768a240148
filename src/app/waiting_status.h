#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tsl {

// What a window with no frame yet says it waits for, and why nothing comes. Portable.
struct WaitingFacts {
  std::string wanted;               // the sender asked for; empty: the first listed or the active
  bool following_active = false;    // the menu's "Follow the active sender"
  std::vector<std::string> listed;  // the machine's list, in its order (its first few)
  std::string active;               // the active sender, empty when there is none
  uint32_t open_error = 0;          // the wanted sender's texture did not open here: the HRESULT
};

// A few short lines for the centre of the window: what it waits for, whether that is listed
// (and why it still shows nothing), and what else could be picked. Names are escaped as the
// sender list prints them.
std::vector<std::string> WaitingLines(const WaitingFacts& facts);

// The same lines, said once on standard error (a controlling program reads it, and nobody may
// be looking at the window) after the window has waited two seconds: a pause in a sender's
// start-up is no news.
class WaitingNotice {
 public:
  // A frame is shown: the wait is over (a later one counts from its own start).
  void Shown() { sinceMs_ = 0; }
  // Still waiting at `now_ms`, with these lines: the line to say now ("waiting: a; b"), or empty.
  std::string Waiting(uint64_t now_ms, const std::vector<std::string>& lines);

 private:
  uint64_t sinceMs_ = 0;  // 0: not waiting
  bool said_ = false;     // once a run
};

}  // namespace tsl

#pragma once

// Takes of a sender that does not count its frames, on the output's own clock: each tick asks
// for one just before it reads the frame slot, and waits (bounded) until the receive thread has
// taken the sender's texture since the ask. Portable; thread-safe.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace tsl {

class TakeRequests {
 public:
  // Waits on either side last only while open (the receive thread runs).
  void Open();
  // Wakes every wait; each returns at once until Open again.
  void Close();

  // A tick's ask: true once a take made after the ask was served (or while closed), false
  // when `wait` ran out first.
  bool AskAndWait(std::chrono::microseconds wait);

  // The receive thread: waits until a tick asks (or `quiet` passes, or Close), and returns how
  // many takes had been asked for then, and whether one of them is not served yet.
  uint64_t WaitForAsk(std::chrono::milliseconds quiet, bool& unserved);
  // A tick asked for a take not served yet.
  bool Unserved();
  // The takes asked for up to `asked` are served.
  void Served(uint64_t asked);

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = false;
  uint64_t asked_ = 0;
  uint64_t served_ = 0;
};

}  // namespace tsl

#pragma once

#include <chrono>
#include <cstdint>
#include <memory>

namespace tsl {

// A delay of the waitable timer, in the timer's own unit (100 ns): a type of its own, so that
// counter counts or milliseconds cannot be passed for it unconverted.
using TimerDelay = std::chrono::duration<int64_t, std::ratio<1, 10'000'000>>;

// The operating-system services the pace controller needs: a high-resolution counter, a one-shot
// waitable timer, the system timer resolution and the pace thread's scheduling class. The
// controller's schedule logic runs unchanged on the Windows backend, the Linux backend and the
// fake clock of the tests.
class PacePlatform {
 public:
  virtual ~PacePlatform() = default;

  virtual uint64_t Now() = 0;
  virtual uint64_t Frequency() = 0;

  // Raises (and later restores) the system timer resolution to 1 ms. Calls are paired.
  virtual void BeginTimerResolution() = 0;
  virtual void EndTimerResolution() = 0;

  // Opens the manual-reset timer (high-resolution when available). False when no timer at all
  // could be made. CloseTimer is safe without an open timer.
  virtual bool OpenTimer() = 0;
  virtual void CloseTimer() = 0;
  virtual bool TimerOpen() const = 0;

  // Arms the timer to fire after `delay` (relative); zero fires it at once and wakes a thread
  // blocked in WaitTimer. Callable from any thread.
  virtual void ArmTimer(TimerDelay delay) = 0;
  // Blocks until the armed timer fires, without timeout.
  virtual void WaitTimer() = 0;

  // One busy-wait step (a CPU pause hint) and the two-millisecond sleep of vsync mode.
  virtual void SpinPause() = 0;
  virtual void SleepTwoMs() = 0;

  // Raises the calling thread's scheduling class; the token is handed back to LeaveThreadClass
  // when the thread ends. A failure is ignored: the thread then runs at its normal class.
  virtual void* EnterThreadClass(bool realtime) = 0;
  virtual void LeaveThreadClass(void* token) = 0;
};

// The backend for the platform the program was built for.
std::unique_ptr<PacePlatform> MakeSystemPacePlatform();

}  // namespace tsl

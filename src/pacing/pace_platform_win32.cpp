#include <windows.h>
// windows.h first: the multimedia headers depend on it.
#include <avrt.h>
#include <immintrin.h>
#include <timeapi.h>

#include "base/qpc.h"
#include "base/thread_name_win32.h"
#include "base/unique_handle_win32.h"
#include "pacing/pace_platform.h"

// mingw-w64 v10 headers lack this flag.
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace tsl {

namespace {

class Win32PacePlatform final : public PacePlatform {
 public:
  ~Win32PacePlatform() override { CloseTimer(); }

  uint64_t Now() override { return base::QpcNow(); }
  uint64_t Frequency() override { return base::QpcFrequency(); }

  void BeginTimerResolution() override { timeBeginPeriod(1); }
  void EndTimerResolution() override { timeEndPeriod(1); }

  bool OpenTimer() override {
    if (timer_) return true;
    timer_.reset(CreateWaitableTimerExW(
        nullptr, nullptr,
        CREATE_WAITABLE_TIMER_MANUAL_RESET | CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
        TIMER_ALL_ACCESS));
    if (!timer_) {
      // Older systems refuse the high-resolution flag; with the 1 ms system resolution the plain
      // timer still wakes close enough for the final spin.
      timer_.reset(CreateWaitableTimerW(nullptr, TRUE, nullptr));
    }
    return static_cast<bool>(timer_);
  }

  void CloseTimer() override { timer_.reset(); }

  bool TimerOpen() const override { return static_cast<bool>(timer_); }

  void ArmTimer(TimerDelay delay) override {
    LARGE_INTEGER due;
    due.QuadPart = -delay.count();  // in 100 ns, negative: relative to now
    SetWaitableTimer(timer_.get(), &due, 0, nullptr, nullptr, FALSE);
  }

  void WaitTimer() override { WaitForSingleObject(timer_.get(), INFINITE); }

  void SpinPause() override { _mm_pause(); }
  void SleepTwoMs() override { Sleep(2); }

  void* EnterThreadClass(bool realtime) override {
    base::NameCurrentThread(L"tsl pace");
    SetThreadPriority(GetCurrentThread(),
                      realtime ? THREAD_PRIORITY_TIME_CRITICAL : THREAD_PRIORITY_HIGHEST);
    DWORD task_index = 0;
    return AvSetMmThreadCharacteristicsW(realtime ? L"Pro Audio" : L"Playback", &task_index);
  }

  void LeaveThreadClass(void* token) override {
    if (token != nullptr) AvRevertMmThreadCharacteristics(token);
  }

 private:
  base::UniqueHandle timer_;
};

}  // namespace

std::unique_ptr<PacePlatform> MakeSystemPacePlatform() {
  return std::make_unique<Win32PacePlatform>();
}

}  // namespace tsl

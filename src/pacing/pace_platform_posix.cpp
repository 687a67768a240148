#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <thread>

#include "base/qpc.h"
#include "pacing/pace_platform.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace tsl {

namespace {

// Linux stand-ins: CLOCK_MONOTONIC for the counter and a timerfd armed with a relative due time
// for the waitable timer. The kernel's timers already have sub-millisecond resolution, so there
// is no system resolution to raise, and the scheduling class is a best-effort nice value.
class PosixPacePlatform final : public PacePlatform {
 public:
  ~PosixPacePlatform() override { CloseTimer(); }

  uint64_t Now() override { return base::QpcNow(); }
  uint64_t Frequency() override { return base::QpcFrequency(); }

  void BeginTimerResolution() override {}
  void EndTimerResolution() override {}

  bool OpenTimer() override {
    if (fd_ >= 0) return true;
    fd_ = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    return fd_ >= 0;
  }

  void CloseTimer() override {
    if (fd_ >= 0) {
      close(fd_);
      fd_ = -1;
    }
  }

  bool TimerOpen() const override { return fd_ >= 0; }

  void ArmTimer(TimerDelay delay) override {
    // An all-zero due time would disarm a timerfd; one nanosecond fires it at once instead.
    int64_t ns = std::chrono::nanoseconds(delay).count();
    if (ns <= 0) ns = 1;
    itimerspec due{};
    due.it_value.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
    due.it_value.tv_nsec = static_cast<long>(ns % 1'000'000'000);
    timerfd_settime(fd_, 0, &due, nullptr);
  }

  void WaitTimer() override {
    uint64_t expirations = 0;
    while (read(fd_, &expirations, sizeof expirations) < 0 && errno == EINTR) {
    }
  }

  void SpinPause() override {
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#else
    std::this_thread::yield();
#endif
  }

  void SleepTwoMs() override { std::this_thread::sleep_for(std::chrono::milliseconds(2)); }

  void* EnterThreadClass(bool realtime) override {
    // The stand-in for the multimedia class: a real-time FIFO priority where the process may
    // have one (the spin before each tick is bounded to 0.5 ms, so it cannot starve the
    // machine), else a raised nice value, else nothing.
    sched_param param{};
    param.sched_priority = realtime ? 20 : 10;
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) != 0) {
      const auto tid = static_cast<id_t>(syscall(SYS_gettid));
      setpriority(PRIO_PROCESS, tid, realtime ? -20 : -10);
    }
    return nullptr;
  }

  void LeaveThreadClass(void*) override {}

 private:
  int fd_ = -1;
};

}  // namespace

std::unique_ptr<PacePlatform> MakeSystemPacePlatform() {
  return std::make_unique<PosixPacePlatform>();
}

}  // namespace tsl

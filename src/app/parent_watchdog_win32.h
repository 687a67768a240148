#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <thread>

#include "base/unique_handle_win32.h"

namespace tsl {

// With --parent-pid: a thread that waits on the parent process and ends this one with exit code
// 0 the moment the parent ends, so that a controlling program that dies takes its output with it.
class ParentWatchdog {
 public:
  ParentWatchdog() = default;
  ~ParentWatchdog() { Stop(); }
  ParentWatchdog(const ParentWatchdog&) = delete;
  ParentWatchdog& operator=(const ParentWatchdog&) = delete;

  // Starts following process `pid`. When it cannot (no such process, no thread to spare) it says
  // so on standard error and the program runs on without following it.
  void Start(uint32_t pid);
  // Stops following; safe when never started and safe twice.
  void Stop();

 private:
  void Watch();

  base::UniqueHandle parent_;
  std::thread thread_;
  std::atomic<bool> active_{false};
};

}  // namespace tsl

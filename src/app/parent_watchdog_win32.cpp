#include "app/parent_watchdog_win32.h"

#include <cstdio>
#include <system_error>

#include "base/thread_name_win32.h"

namespace tsl {

namespace {
// How often the watchdog looks whether it should stop; the parent's end wakes it at once.
constexpr DWORD kWatchdogStepMs = 500;
}  // namespace

void ParentWatchdog::Start(uint32_t pid) {
  parent_.reset(OpenProcess(SYNCHRONIZE, FALSE, pid));
  if (!parent_) {
    std::fprintf(stderr, "warning: --parent-pid %u OpenProcess failed (err=%lu)\n",
                 static_cast<unsigned>(pid), static_cast<unsigned long>(GetLastError()));
    std::fflush(stderr);
    return;
  }
  active_ = true;
  try {
    thread_ = std::thread([this] { Watch(); });
  } catch (const std::system_error&) {
    // Out of resources: say so and run on without following the parent.
    active_ = false;
    parent_.reset();
    std::fprintf(stderr, "warning: --parent-pid %u watchdog thread could not start\n",
                 static_cast<unsigned>(pid));
    std::fflush(stderr);
  }
}

void ParentWatchdog::Stop() {
  active_ = false;
  if (thread_.joinable()) thread_.join();
  parent_.reset();
}

void ParentWatchdog::Watch() {
  // Nothing may leave a thread; should anything throw, Tessaline runs on without a watchdog.
  try {
    base::NameCurrentThread(L"tsl watchdog");
    while (active_) {
      const DWORD wait = WaitForSingleObject(parent_.get(), kWatchdogStepMs);
      if (wait == WAIT_OBJECT_0) ExitProcess(0);  // the parent ended: so do we, at once
      if (wait != WAIT_TIMEOUT) return;           // the wait failed: run on without a watchdog
    }
  } catch (...) {
  }
}

}  // namespace tsl

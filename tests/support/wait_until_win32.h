#pragma once

#include <windows.h>

#include <functional>

namespace tsl::testing {

// Polls `done` every `step_ms` until it is true (true), or until `timeout_ms` have passed
// (false). Every wait of the Windows tests goes through here.
inline bool WaitUntil(const std::function<bool()>& done, DWORD timeout_ms = 20'000,
                      DWORD step_ms = 20) {
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  for (;;) {
    if (done()) return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(step_ms);
  }
}

}  // namespace tsl::testing

#pragma once

// Starts tests/support's scriptable Weft peer (weft_peer.exe, beside the test executable) as a
// real second process and talks to it over its standard input and output.

#include <windows.h>

#include <string>

#include "support/child_process_win32.h"

namespace tsl::testing {

class PeerProcess {
 public:
  PeerProcess();
  ~PeerProcess();
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;

  bool Started() const { return static_cast<bool>(peer_.process); }
  // Sends one command line and returns the peer's one-line answer ("" when it did not answer
  // within 10 s or has exited).
  std::string Send(const std::string& command);
  // Waits for the peer to exit and returns its exit code (STILL_ACTIVE after 10 s).
  DWORD WaitForExit();
  HANDLE Handle() const { return peer_.process.get(); }

 private:
  ChildProcess peer_;
  std::string pending_;
};

}  // namespace tsl::testing

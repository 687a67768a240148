#include "support/peer_process_win32.h"

#include <string>

#include "support/wait_until_win32.h"

namespace tsl::testing {

PeerProcess::PeerProcess() {
  if (!StartBesideTest(L"weft_peer.exe", L"", kPipeInput | kPipeOutput, peer_)) peer_ = {};
}

PeerProcess::~PeerProcess() {
  if (peer_.process) {
    Send("quit");
    if (WaitForSingleObject(peer_.process.get(), 5000) != WAIT_OBJECT_0) {
      TerminateProcess(peer_.process.get(), 1);
    }
  }
}

std::string PeerProcess::Send(const std::string& command) {
  if (!peer_.process) return "";
  const std::string line = command + "\n";
  DWORD written = 0;
  if (!WriteFile(peer_.to_child.get(), line.data(), static_cast<DWORD>(line.size()), &written,
                 nullptr)) {
    return "";
  }
  if (command == "quit") return "";
  std::string reply;
  bool failed = false;
  const auto answered = [&] {
    const size_t newline = pending_.find('\n');
    if (newline != std::string::npos) {
      reply = pending_.substr(0, newline);
      pending_.erase(0, newline + 1);
      if (!reply.empty() && reply.back() == '\r') reply.pop_back();
      return true;
    }
    DWORD available = 0;
    if (!PeekNamedPipe(peer_.from_child.get(), nullptr, 0, nullptr, &available, nullptr)) {
      failed = true;
      return true;
    }
    if (available == 0) return false;
    char buffer[512];
    DWORD read = 0;
    if (!ReadFile(peer_.from_child.get(), buffer, sizeof buffer, &read, nullptr)) {
      failed = true;
      return true;
    }
    pending_.append(buffer, read);
    return false;
  };
  if (!WaitUntil(answered, 10'000, 1) || failed) return "";
  return reply;
}

DWORD PeerProcess::WaitForExit() {
  DWORD code = STILL_ACTIVE;
  if (peer_.process && WaitForSingleObject(peer_.process.get(), 10'000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(peer_.process.get(), &code);
  }
  return code;
}

}  // namespace tsl::testing

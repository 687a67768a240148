#include "support/peer_process_win32.h"

#include <string>

namespace tsl::testing {

PeerProcess::PeerProcess() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring exe(path, length);
  exe = exe.substr(0, exe.find_last_of(L"\\/") + 1) + L"weft_peer.exe";

  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE child_in_read = nullptr;
  HANDLE child_out_write = nullptr;
  if (!CreatePipe(&child_in_read, &to_peer_, &inherit, 0)) return;
  if (!CreatePipe(&from_peer_, &child_out_write, &inherit, 0)) return;
  SetHandleInformation(to_peer_, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(from_peer_, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = child_in_read;
  startup.hStdOutput = child_out_write;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION info{};
  std::wstring command_line = L"\"" + exe + L"\"";
  if (CreateProcessW(exe.c_str(), command_line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                     &startup, &info)) {
    process_ = info.hProcess;
    CloseHandle(info.hThread);
  }
  CloseHandle(child_in_read);
  CloseHandle(child_out_write);
}

PeerProcess::~PeerProcess() {
  if (process_ != nullptr) {
    Send("quit");
    if (WaitForSingleObject(process_, 5000) != WAIT_OBJECT_0) TerminateProcess(process_, 1);
    CloseHandle(process_);
  }
  if (to_peer_ != nullptr) CloseHandle(to_peer_);
  if (from_peer_ != nullptr) CloseHandle(from_peer_);
}

std::string PeerProcess::Send(const std::string& command) {
  if (process_ == nullptr) return "";
  const std::string line = command + "\n";
  DWORD written = 0;
  if (!WriteFile(to_peer_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr)) {
    return "";
  }
  if (command == "quit") return "";
  const ULONGLONG deadline = GetTickCount64() + 10'000;
  while (GetTickCount64() < deadline) {
    const size_t newline = pending_.find('\n');
    if (newline != std::string::npos) {
      std::string reply = pending_.substr(0, newline);
      pending_.erase(0, newline + 1);
      if (!reply.empty() && reply.back() == '\r') reply.pop_back();
      return reply;
    }
    DWORD available = 0;
    if (!PeekNamedPipe(from_peer_, nullptr, 0, nullptr, &available, nullptr)) return "";
    if (available == 0) {
      Sleep(1);
      continue;
    }
    char buffer[512];
    DWORD read = 0;
    if (!ReadFile(from_peer_, buffer, sizeof buffer, &read, nullptr)) return "";
    pending_.append(buffer, read);
  }
  return "";
}

DWORD PeerProcess::WaitForExit() {
  DWORD code = STILL_ACTIVE;
  if (process_ != nullptr && WaitForSingleObject(process_, 10'000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process_, &code);
  }
  return code;
}

}  // namespace tsl::testing

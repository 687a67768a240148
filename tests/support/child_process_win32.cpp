#include "support/child_process_win32.h"

namespace tsl::testing {

std::wstring BesideTestExecutable(const std::wstring& file_name) {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, length);
  return dir.substr(0, dir.find_last_of(L"\\/") + 1) + file_name;
}

namespace {

// A pipe whose `ours` end stays in this process and whose other end the child inherits.
bool MakePipe(bool child_reads, base::UniqueHandle& ours, base::UniqueHandle& theirs) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  if (!CreatePipe(&read, &write, &inherit, 0)) return false;
  ours.reset(child_reads ? write : read);
  theirs.reset(child_reads ? read : write);
  SetHandleInformation(ours.get(), HANDLE_FLAG_INHERIT, 0);
  return true;
}

}  // namespace

bool StartBesideTest(const std::wstring& exe_name, const std::wstring& arguments, unsigned pipes,
                     ChildProcess& child) {
  const std::wstring exe = BesideTestExecutable(exe_name);
  base::UniqueHandle child_input;
  base::UniqueHandle child_output;
  base::UniqueHandle child_errors;
  if ((pipes & kPipeInput) && !MakePipe(true, child.to_child, child_input)) return false;
  if (pipes & kPipeOutput) {
    if (!MakePipe(false, child.from_child, child_output)) return false;
  } else {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    child_output.reset(
        CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr));
  }
  if ((pipes & kPipeErrors) && !MakePipe(false, child.errors_from, child_errors)) return false;

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = child_input.get();
  startup.hStdOutput = child_output.get();
  startup.hStdError = (pipes & kPipeErrors) ? child_errors.get() : GetStdHandle(STD_ERROR_HANDLE);
  const bool detached = (pipes & kNoStandardStreams) != 0;
  if (detached) {
    startup = STARTUPINFOW{};
    startup.cb = sizeof startup;
  }
  PROCESS_INFORMATION info{};
  std::wstring command_line = L"\"" + exe + L"\"";
  if (!arguments.empty()) command_line += L" " + arguments;
  if (!CreateProcessW(exe.c_str(), command_line.data(), nullptr, nullptr, detached ? FALSE : TRUE,
                      detached ? DETACHED_PROCESS : 0, nullptr, nullptr, &startup, &info)) {
    return false;
  }
  child.process.reset(info.hProcess);
  const base::UniqueHandle thread(info.hThread);  // never used: the process is all a test needs
  return true;
}

}  // namespace tsl::testing

#pragma once

// Drives a Tessaline process from a test: starts it with arguments, finds its window, reads its
// title, posts keys, finds its message boxes, and collects its exit code and standard error.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/child_process_win32.h"
#include "support/wait_until_win32.h"

namespace tsl::testing {

class AppProcess {
 public:
  ~AppProcess();
  // Starts `exe_name` (beside the test executable) with the given argument text, its standard
  // error read by the test (or, with kNoStandardStreams, with none, as from a shortcut).
  bool Start(const std::wstring& exe_name, const std::wstring& arguments,
             unsigned pipes = kPipeErrors);
  // The program's main window, waiting up to `timeout_ms` for it (null when none appeared).
  HWND WaitForWindow(DWORD timeout_ms = 20'000);
  std::wstring Title();
  // Polls the title until it contains `text` (true) or the time is up (false).
  bool WaitForTitleContaining(const std::wstring& text, DWORD timeout_ms = 20'000);
  void PostKey(WPARAM virtual_key);
  // What the display shows of the window's client area, read from the screen (not from the
  // program's own buffers), as B8G8R8A8 words row by row. Empty when it cannot be read.
  std::vector<uint32_t> CaptureClient(uint32_t& width, uint32_t& height);
  // A dialog box of the program with this caption, waiting up to `timeout_ms`.
  HWND WaitForDialog(const std::wstring& caption, DWORD timeout_ms = 10'000);
  // The exit code, or STILL_ACTIVE if the program did not end in time (it is then killed).
  DWORD WaitForExit(DWORD timeout_ms = 20'000);
  // Everything the program wrote to standard error (complete once it has exited).
  std::string StandardError();
  DWORD Pid() const { return pid_; }

 private:
  void DrainStandardError();

  ChildProcess app_;
  DWORD pid_ = 0;
  HWND window_ = nullptr;
  std::string stderrText_;
};

// A top-level window of process `pid` with this class and, unless null, this caption; null when
// none appeared within `timeout_ms`.
HWND WaitForWindowOf(DWORD pid, const wchar_t* class_name, const wchar_t* caption,
                     DWORD timeout_ms = 20'000);
// A window's title text (empty for null).
std::wstring WindowTitle(HWND window);

// What the display shows of a window's client area, read from the screen, as B8G8R8A8 words row
// by row. Empty when it cannot be read.
std::vector<uint32_t> CaptureClientArea(HWND window, uint32_t& width, uint32_t& height);

// Asks the window for a sender as the menu's choice and a controlling program do (WM_COPYDATA;
// an empty name: follow the active sender); true when the window took it.
bool PickSender(HWND window, const std::string& name);

}  // namespace tsl::testing

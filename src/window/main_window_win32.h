#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tsl {

struct MonitorInfo {
  RECT rect{};  // the whole monitor in virtual-screen coordinates, taskbar included
  bool primary = false;
};

// Every monitor, the primary one first, the rest in the system's order. Built anew per call.
std::vector<MonitorInfo> EnumerateMonitors();

using KeyCallback = std::function<void(uint64_t)>;

// The program's one top-level window ("TessalineWnd"): key presses for the hotkeys, the
// topmost, hidden-cursor and no-activation behaviours, and borderless fullscreen on a monitor.
// Main thread only, except `fullscreen`, which the pace thread reads. Must not move once created:
// the window procedure finds it through the window's user data.
class MainWindow {
 public:
  MainWindow() = default;
  ~MainWindow() = default;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  bool Create(const std::wstring& title, int32_t width, int32_t height, bool no_activate);
  void Destroy();
  void SetKeyCallback(KeyCallback callback) { onKey = std::move(callback); }
  // Called on WM_TIMER: what the owner's loop does must go on while a modal loop (a message
  // box) runs instead of it.
  void SetTimerCallback(std::function<void()> callback) { onTimer = std::move(callback); }
  // Handles every pending message; false once the window was closed or a quit message came.
  bool PumpMessages();
  void SetTopmost(bool on);
  void SetCursorHidden(bool on);

  bool EnterFullscreen(int32_t index);
  void ExitFullscreen();
  bool ToggleFullscreen(int32_t index);

  HWND hwnd = nullptr;
  std::atomic<bool> fullscreen{false};
  RECT savedRect{};
  LONG_PTR savedStyle = 0;
  LONG_PTR savedExStyle = 0;
  KeyCallback onKey;
  std::function<void()> onTimer;
  std::atomic<bool> quitRequested{false};
  bool topmost = false;
  bool cursorHidden = false;
  bool noActivate = false;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
};

}  // namespace tsl

#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace tsl {

using KeyCallback = std::function<void(uint64_t)>;

// WM_COPYDATA's tag for "show this sender": the data is the sender's name (8-bit, no
// terminator); no data means "follow the active sender". A controlling program (or
// tessaline_remote) sends it; the window's right-click menu does the same from inside.
inline constexpr ULONG_PTR kPickSenderCopyData = 0x53534C54;  // "TLSS"

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
  // A display's mode or the desktop's layout changed (WM_DISPLAYCHANGE).
  void SetDisplayChangeCallback(std::function<void()> callback) {
    onDisplayChange = std::move(callback);
  }
  // A right-click in the window (or the menu key): where, in screen coordinates.
  void SetContextMenuCallback(std::function<void(POINT)> callback) {
    onContextMenu = std::move(callback);
  }
  // A menu command (WM_COMMAND from a menu).
  void SetCommandCallback(std::function<void(uint32_t)> callback) {
    onCommand = std::move(callback);
  }
  // A kPickSenderCopyData message: the name asked for.
  void SetPickSenderCallback(std::function<void(const std::string&)> callback) {
    onPickSender = std::move(callback);
  }
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
  std::function<void()> onDisplayChange;
  std::function<void(POINT)> onContextMenu;
  std::function<void(uint32_t)> onCommand;
  std::function<void(const std::string&)> onPickSender;
  std::atomic<bool> quitRequested{false};
  bool topmost = false;
  bool cursorHidden = false;
  bool noActivate = false;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
};

}  // namespace tsl

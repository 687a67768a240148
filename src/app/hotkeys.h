#pragma once

#include <cstdint>

namespace tsl {

enum class Hotkey {
  kNone,
  kEscape,            // leave fullscreen, or close the window
  kToggleLetterbox,   // A
  kToggleCursor,      // C
  kToggleOverlay,     // G
  kWritePaceLog,      // P
  kToggleTopmost,     // T
  kToggleVsync,       // V
  kToggleFullscreen,  // F11
  kNextMonitor,       // F12
};

// The action of a virtual-key code (letters are the same key in either case).
Hotkey HotkeyFor(uint64_t virtual_key);

// The monitor after `current` among `count` (count > 0), wrapping to 0.
int32_t NextMonitorIndex(int32_t current, int32_t count);

}  // namespace tsl

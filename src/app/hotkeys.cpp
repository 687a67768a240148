#include "app/hotkeys.h"

namespace tsl {

Hotkey HotkeyFor(uint64_t virtual_key) {
  switch (virtual_key) {
    case 0x1B:
      return Hotkey::kEscape;
    case 0x41:
      return Hotkey::kToggleLetterbox;
    case 0x43:
      return Hotkey::kToggleCursor;
    case 0x47:
      return Hotkey::kToggleOverlay;
    case 0x50:
      return Hotkey::kWritePaceLog;
    case 0x54:
      return Hotkey::kToggleTopmost;
    case 0x56:
      return Hotkey::kToggleVsync;
    case 0x7A:
      return Hotkey::kToggleFullscreen;
    case 0x7B:
      return Hotkey::kNextMonitor;
    default:
      return Hotkey::kNone;
  }
}

int32_t NextMonitorIndex(int32_t current, int32_t count) {
  // In 64 bits, so that a huge index from the command line cannot overflow.
  return static_cast<int32_t>((static_cast<int64_t>(current) + 1) % count);
}

}  // namespace tsl

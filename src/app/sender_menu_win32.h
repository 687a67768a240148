#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "receive/listed_sender.h"

namespace tsl {

// The window's right-click menu of the machine's senders. It owns the list it showed: the
// menu's commands name senders by position in that list, so it is read once a showing.
class SenderMenuPopup {
 public:
  // Runs a modal loop (the menu's) as the window's one modal; false when another one is open.
  using RunModal = std::function<bool(const std::function<void()>&)>;

  // Reads the listed senders and shows the menu at `at` (screen coordinates) over `window`:
  // `shown` checked unless `following_active`, then "Follow the active sender". The choice
  // arrives as a WM_COMMAND, for Pick.
  void Show(HWND window, POINT at, const std::string& shown, bool following_active,
            const RunModal& run_modal);
  // The sender a command of the menu last shown picks ("" follows the active sender); false for
  // a command the menu does not hold.
  bool Pick(uint32_t command, std::string& name) const;

 private:
  std::vector<ListedSender> listed_;
};

}  // namespace tsl

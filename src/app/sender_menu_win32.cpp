#include "app/sender_menu_win32.h"

#include "app/sender_menu.h"
#include "receive/sender_list_win32.h"

namespace tsl {

void SenderMenuPopup::Show(HWND window, POINT at, const std::string& shown, bool following_active,
                           const RunModal& run_modal) {
  listed_ = ReadListedSenders();
  HMENU menu = CreatePopupMenu();
  if (menu == nullptr) return;
  for (const MenuItem& item : SenderMenu(listed_, shown, following_active)) {
    if (item.command == 0) {
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    } else {
      AppendMenuW(menu, MF_STRING | (item.checked ? MF_CHECKED : MF_UNCHECKED), item.command,
                  item.text.c_str());
    }
  }
  // The menu closes when the user clicks elsewhere only if the window is in the foreground.
  SetForegroundWindow(window);
  run_modal([&] { TrackPopupMenu(menu, TPM_RIGHTBUTTON, at.x, at.y, 0, window, nullptr); });
  DestroyMenu(menu);
}

bool SenderMenuPopup::Pick(uint32_t command, std::string& name) const {
  return SenderForCommand(listed_, command, name);
}

}  // namespace tsl

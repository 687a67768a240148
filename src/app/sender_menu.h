#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "receive/listed_sender.h"

namespace tsl {

// What a person sees of the machine's senders: the lines --list-senders prints and the items of
// the window's right-click menu. Portable.

// A name for a line of text: printable ASCII as it is except the quote and the backslash, which
// are escaped, and every other byte as \xHH. Nothing is cut, so no character is cut in half.
std::string EscapedName(const std::string& name);

// One line a sender: "NAME" WIDTHxHEIGHT FORMAT[, active], the size and format "busy" where
// the sender held its lock throughout, "unknown" where its record cannot be read; "no senders
// are listed" when there are none.
std::string SenderListText(const std::vector<ListedSender>& senders);

struct MenuItem {
  uint32_t command = 0;  // 0: a separator
  std::wstring text;
  bool checked = false;
};

inline constexpr uint32_t kFollowActiveCommand = 0x100;
inline constexpr uint32_t kFirstSenderCommand = 0x101;

// The menu: a sender a line (its name escaped as the list escapes it, then its size and format
// after a tab), the one shown
// checked unless the receiver follows the active sender; a separator; "Follow the active sender",
// checked while it does.
std::vector<MenuItem> SenderMenu(const std::vector<ListedSender>& senders, const std::string& shown,
                                 bool following_active);

// The sender a command of that menu picks: false for a command it does not hold. An empty name
// means: follow the active sender.
bool SenderForCommand(const std::vector<ListedSender>& senders, uint32_t command,
                      std::string& name);

}  // namespace tsl

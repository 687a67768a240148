#include "app/sender_menu.h"

#include <cstdio>

#include "app/status_title.h"

namespace tsl {

namespace {

std::string SizeAndFormat(const ListedSender& s) {
  if (s.busy) return "busy";
  if (!s.have_info) return "unknown size and format";
  char size[32];
  std::snprintf(size, sizeof size, "%ux%u ", static_cast<unsigned>(s.width),
                static_cast<unsigned>(s.height));
  std::string text(size);
  text.append(PixelFormatName(static_cast<int32_t>(s.format)));
  return text;
}

}  // namespace

std::string EscapedName(const std::string& name) {
  std::string out;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte >= 0x20 && byte < 0x7F) {
      out += c;
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(byte));
      out += hex;
    }
  }
  return out;
}

std::string SenderListText(const std::vector<ListedSender>& senders) {
  if (senders.empty()) return "no senders are listed\n";
  std::string text;
  for (const ListedSender& s : senders) {
    text += '"';
    text += EscapedName(s.name);
    text += "\" ";
    text += SizeAndFormat(s);
    if (s.active) text += ", active";
    text += "\n";
  }
  return text;
}

std::vector<MenuItem> SenderMenu(const std::vector<ListedSender>& senders, const std::string& shown,
                                 bool following_active) {
  std::vector<MenuItem> items;
  for (size_t i = 0; i < senders.size(); ++i) {
    MenuItem item;
    item.command = kFirstSenderCommand + static_cast<uint32_t>(i);
    // Escaped as the list prints it (a tab would split the item, a control byte shows as a
    // box or nothing); a menu takes "&" for the next letter's underline: "&&" shows one.
    for (const char c : EscapedName(senders[i].name)) {
      item.text += static_cast<wchar_t>(c);
      if (c == '&') item.text += L'&';
    }
    const std::string details = SizeAndFormat(senders[i]);
    item.text += L'\t';
    item.text.append(details.begin(), details.end());
    item.checked = !following_active && senders[i].name == shown;
    items.push_back(item);
  }
  items.push_back(MenuItem{});
  items.push_back(MenuItem{kFollowActiveCommand, L"Follow the active sender", following_active});
  return items;
}

bool SenderForCommand(const std::vector<ListedSender>& senders, uint32_t command,
                      std::string& name) {
  if (command == kFollowActiveCommand) {
    name.clear();
    return true;
  }
  if (command < kFirstSenderCommand || command - kFirstSenderCommand >= senders.size()) {
    return false;
  }
  name = senders[command - kFirstSenderCommand].name;
  return true;
}

}  // namespace tsl

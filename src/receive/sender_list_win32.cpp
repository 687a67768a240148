#include "receive/sender_list_win32.h"

#include <windows.h>

#include "weft/weft_sender_names_win32.h"

namespace tsl {

std::vector<ListedSender> ReadListedSenders(std::chrono::milliseconds budget) {
  std::vector<ListedSender> listed;
  weftSenderNames names;
  weft::SenderSet set;
  if (!names.ReadSenderSet(set)) return listed;
  char active[weft::kNameBufferBytes] = {};
  const bool have_active = names.ReadActiveSender(active, static_cast<int32_t>(sizeof active));
  for (const std::string& name : set) {
    ListedSender s;
    s.name = name;
    s.busy = true;  // until its record is read
    s.active = have_active && name == active;
    listed.push_back(s);
  }
  // No sender's lock is waited for in turn: a pass reads what is free now, and the busy ones
  // are looked at again in the next pass, until the budget is spent. What is still busy then
  // is shown as busy.
  const auto deadline = std::chrono::steady_clock::now() + budget;
  for (bool any_busy = true; any_busy;) {
    any_busy = false;
    for (ListedSender& s : listed) {
      if (!s.busy) continue;
      if (std::chrono::steady_clock::now() > deadline) return listed;
      weft::SenderInfoRecord record;
      const weftSenderNames::RecordRead read = names.PeekSenderInfo(s.name.c_str(), record);
      s.busy = read == weftSenderNames::RecordRead::kBusy;
      any_busy = any_busy || s.busy;
      s.have_info = read == weftSenderNames::RecordRead::kCopied;
      if (s.have_info) {
        s.width = record.width;
        s.height = record.height;
        s.format = record.format;
      }
    }
    if (any_busy) Sleep(1);
  }
  return listed;
}

}  // namespace tsl

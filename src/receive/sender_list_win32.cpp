#include "receive/sender_list_win32.h"

#include "weft/weft_sender_names_win32.h"

namespace tsl {

std::vector<ListedSender> ReadListedSenders() {
  std::vector<ListedSender> listed;
  weftSenderNames names;
  weft::SenderSet set;
  if (!names.ReadSenderSet(set)) return listed;
  char active[weft::kNameBufferBytes] = {};
  const bool have_active = names.ReadActiveSender(active, static_cast<int32_t>(sizeof active));
  for (const std::string& name : set) {
    ListedSender s;
    s.name = name;
    weft::SenderInfoRecord record;
    s.have_info = names.ReadSenderInfo(name.c_str(), record);
    if (s.have_info) {
      s.width = record.width;
      s.height = record.height;
      s.format = record.format;
    }
    s.active = have_active && name == active;
    listed.push_back(s);
  }
  return listed;
}

}  // namespace tsl

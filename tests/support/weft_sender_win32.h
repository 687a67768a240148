#pragma once

// The sender side of the protocol, for the programs that play a sender: the test peer and the
// demo sender. Tessaline itself never registers a sender.

#include <string>

#include "weft/weft_protocol.h"
#include "weft/weft_shared_memory_win32.h"

namespace tsl::testing {

class WeftSenderRegistration {
 public:
  ~WeftSenderRegistration() { Unregister(); }

  // Creates (or rewrites) the sender's segment with its record and lists the name; makes it the
  // active sender when none is active, or always with `make_active`.
  bool Register(const std::string& name, const weft::SenderInfoRecord& record,
                bool make_active = false);
  // Drops the segment but leaves the name listed, as a sender that crashed would.
  void DropSegment() { segment_.Close(); }
  // Removes the name from the list (moving the active name on) and closes the segment.
  void Unregister();

 private:
  std::string name_;
  WeftSharedMemory segment_;
};

// Adds or removes a name in the machine's sender list.
bool EditSenderList(const std::string& name, bool add);
// Writes the active sender name; with `only_if_none`, only when no sender is active.
bool WriteActiveSender(const std::string& name, bool only_if_none);

}  // namespace tsl::testing

#pragma once

// The sending side of the protocol, for the programs that play a sender: the demo sender, the
// test peer and the receive benchmark's sender. Tessaline itself never registers a sender.

#include <windows.h>

#include <string>

#include "base/unique_handle_win32.h"
#include "weft/weft_protocol.h"
#include "weft/weft_shared_memory_win32.h"

namespace weft {

// A sender's entry in the registry: its segment with the information record, its name in the
// machine's sender list and, when none is, as the active sender.
class SenderRegistration {
 public:
  ~SenderRegistration() { Unregister(); }

  // Creates (or rewrites) the sender's segment with its record and lists the name; makes it the
  // active sender when none is active, or always with `make_active`.
  bool Register(const std::string& name, const SenderInfoRecord& record, bool make_active = false);
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

// A sender's two named objects: the frame counter it raises once per frame written, and the
// access lock it holds while it writes the shared texture.
class SenderSync {
 public:
  // Creates (or opens) "<name>_Count_Semaphore" and "<name>_WeftAccessMutex". False when the
  // name is too long for them or either cannot be made.
  bool Open(const std::string& name);
  // Takes the access lock, waiting at most `timeout_ms`. A lock abandoned by a receiver that
  // died holding it is taken too: the frame is written whole anyway, and giving it back keeps
  // the next receiver from being locked out.
  bool Lock(DWORD timeout_ms = kLockTimeoutMs);
  void Unlock();
  // Counts `frames` more frames.
  bool Signal(LONG frames = 1);

 private:
  base::UniqueHandle semaphore_;
  base::UniqueHandle mutex_;
};

}  // namespace weft

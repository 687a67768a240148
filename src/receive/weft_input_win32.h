#pragma once

#include <d3d11.h>

#include <functional>
#include <string>
#include <vector>

#include "weft/weft_dx_win32.h"

namespace tsl {

// The application's face of the Weft receiver: the receiver plus an opened flag; everything
// does nothing, or returns nothing, until Open.
class WeftInput {
 public:
  // False also for a name the protocol cannot hold (256 bytes or more): receiving whatever
  // sender is active instead of the one asked for would show the wrong source.
  bool Open(ID3D11Device* device, const std::string& name);
  void SetSenderName(const std::string& name);
  bool Receive();
  void Close();
  // Lists up to `max` senders after dropping those whose segment is gone (a long list's walk
  // stops when `give_up` says so, and goes on at the next call).
  int ListSenders(std::vector<std::string>& names, int max,
                  const std::function<bool()>& give_up = nullptr);
  std::string ActiveSenderName();
  std::string SenderName();

  weftDX& Receiver() { return receiver_; }

 private:
  weftDX receiver_;
  bool opened_ = false;
};

}  // namespace tsl

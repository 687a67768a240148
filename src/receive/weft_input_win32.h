#pragma once

#include <d3d11.h>

#include <string>
#include <vector>

#include "weft/weft_dx_win32.h"

namespace tsl {

// The application's face of the Weft receiver: the receiver plus an opened flag; everything
// does nothing, or returns nothing, until Open.
class WeftInput {
 public:
  bool Open(ID3D11Device* device, const std::string& name);
  void SetSenderName(const std::string& name);
  bool Receive();
  void Close();
  int ListSenders(std::vector<std::string>& names, int max);
  std::string ActiveSenderName();
  std::string SenderName();

  weftDX& receiver() { return receiver_; }

 private:
  weftDX receiver_;
  bool opened_ = false;
};

}  // namespace tsl

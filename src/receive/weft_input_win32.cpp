#include "receive/weft_input_win32.h"

#include <algorithm>

#include "weft/weft_protocol.h"

namespace tsl {

bool WeftInput::Open(ID3D11Device* device, const std::string& name) {
  if (opened_) return true;
  if (name.size() > weft::kMaxNameBytes) return false;
  if (!receiver_.OpenDirectX11(device)) return false;
  receiver_.SetReceiverName(name.empty() ? nullptr : name.c_str());
  opened_ = true;
  return true;
}

void WeftInput::SetSenderName(const std::string& name) {
  if (opened_) receiver_.SetReceiverName(name.empty() ? nullptr : name.c_str());
}

bool WeftInput::Receive() { return opened_ && receiver_.ReceiveTexture(); }

void WeftInput::Close() {
  if (!opened_) return;
  receiver_.ReleaseReceiver();
  receiver_.CloseDirectX11();
  opened_ = false;
}

int WeftInput::ListSenders(std::vector<std::string>& names, int max,
                           const std::function<bool()>& give_up) {
  names.clear();
  if (!opened_) return 0;
  const int count = std::min(receiver_.GetSenderCount(give_up), max);
  for (int i = 0; i < count; ++i) {
    char name[weft::kNameBufferBytes] = {};
    if (receiver_.GetSender(i, name, sizeof name)) names.emplace_back(name);
  }
  return static_cast<int>(names.size());
}

std::string WeftInput::ActiveSenderName() {
  if (!opened_) return std::string();
  char name[weft::kNameBufferBytes] = {};
  if (!receiver_.GetActiveSender(name)) return std::string();
  return name;
}

std::string WeftInput::SenderName() {
  if (!opened_) return std::string();
  return receiver_.GetSenderName();
}

}  // namespace tsl

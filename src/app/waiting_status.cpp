#include "app/waiting_status.h"

#include <algorithm>
#include <cstdio>

#include "app/sender_menu.h"

namespace tsl {

namespace {

std::string Quoted(const std::string& name) {
  std::string quoted(1, '"');
  quoted.append(EscapedName(name));
  quoted.push_back('"');
  return quoted;
}

}  // namespace

std::vector<std::string> WaitingLines(const WaitingFacts& facts) {
  std::vector<std::string> lines;
  const bool listed =
      std::find(facts.listed.begin(), facts.listed.end(), facts.wanted) != facts.listed.end();
  std::string shown = facts.wanted;  // the one that would be shown
  if (facts.following_active || facts.wanted.empty()) {
    shown = facts.active;
    lines.push_back(facts.following_active
                        ? "following the active sender"
                        : "waiting for a sender (the first listed or the active)");
    lines.push_back(facts.active.empty() ? "no sender is active"
                                         : "the active sender is " + Quoted(facts.active));
  } else {
    lines.push_back("waiting for " + Quoted(facts.wanted));
    lines.push_back(listed ? Quoted(facts.wanted) + " is listed"
                           : Quoted(facts.wanted) + " is not listed (not started, or misspelt?)");
  }
  if (facts.open_error != 0 && !shown.empty()) {
    char error[96];
    std::snprintf(error, sizeof error, "its texture does not open here (error 0x%08X)",
                  static_cast<unsigned>(facts.open_error));
    lines.emplace_back(error);
    lines.emplace_back("(a sender on another graphics adapter cannot be shared)");
  }
  size_t others = 0;
  for (const std::string& name : facts.listed) others += name == shown ? 0 : 1;
  if (others == 0) {
    lines.emplace_back(facts.listed.empty() ? "no senders are listed"
                                            : "no other sender is listed");
  } else {
    lines.push_back(std::to_string(others) + (others == 1 ? " other sender" : " other senders") +
                    " listed: right-click to pick");
  }
  return lines;
}

std::string WaitingNotice::Waiting(uint64_t now_ms, const std::vector<std::string>& lines) {
  if (sinceMs_ == 0) sinceMs_ = now_ms;
  if (said_ || now_ms - sinceMs_ < 2'000) return "";
  said_ = true;
  std::string said = "waiting:";
  for (size_t i = 0; i < lines.size(); ++i) {
    said.append(i == 0 ? " " : "; ");
    said.append(lines[i]);
  }
  return said;
}

}  // namespace tsl

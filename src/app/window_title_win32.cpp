#include "app/window_title_win32.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "app/status_title.h"

namespace tsl {

namespace {
constexpr ULONGLONG kTitleIntervalMs = 250;
constexpr ULONGLONG kNoticeMs = 1000;
}  // namespace

void WindowTitle::Refresh(bool paced, int32_t monitor, const std::string& wanted) {
  const ULONGLONG now = GetTickCount64();
  if (now < holdUntilMs_ || now - lastMs_ < kTitleIntervalMs) return;
  lastMs_ = now;

  TitleFigures f;
  f.adapter = device_.adapterName;
  output_.AddFigures(paced, f);
  f.received = receiver_.receivedCount;
  f.connected = receiver_.connected;
  f.senders = receiver_.senderCount;
  f.monitor = monitor;
  f.format = slot_.Format();
  f.sender = receiver_.SenderNameSnapshot();
  SetWindowTextW(output_.window.hwnd, FormatTitle(f).c_str());
  if (!paced) return;
  UpdateWaitingStatus(wanted);
  if (output_.presentStage.overlay) output_.UpdateOverlay(device_, f);
}

void WindowTitle::Notice(const wchar_t* text) {
  SetWindowTextW(output_.window.hwnd, text);
  holdUntilMs_ = GetTickCount64() + kNoticeMs;
}

void WindowTitle::UpdateWaitingStatus(const std::string& wanted) {
  SlotFrame shown;
  if (slot_.Latest(shown)) {
    waitingNotice_.Shown();
    return;
  }
  WaitingFacts facts;
  facts.wanted = wanted;
  facts.following_active = receiver_.FollowingActive();
  WeftReceiveThread::Waiting seen = receiver_.WaitingSnapshot();
  facts.listed = std::move(seen.listed);
  facts.active = std::move(seen.active);
  facts.open_error = seen.open_error;
  const std::vector<std::string> lines = WaitingLines(facts);
  output_.ShowStatus(device_, lines);
  const std::string said = waitingNotice_.Waiting(GetTickCount64(), lines);
  if (said.empty()) return;
  std::fprintf(stderr, "%s\n", said.c_str());
  std::fflush(stderr);
}

}  // namespace tsl

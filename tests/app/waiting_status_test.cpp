#include "app/waiting_status.h"

#include <gtest/gtest.h>

namespace tsl {
namespace {

TEST(WaitingStatusTest, SaysWhatItWaitsForAndWhyNothingComes) {
  struct Case {
    WaitingFacts facts;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {{"Stage Left", false, {"Stage Right", "Camera\t2"}, "Stage Right", 0},
       {"waiting for \"Stage Left\"", "\"Stage Left\" is not listed (not started, or misspelt?)",
        "2 other senders listed: right-click to pick"}},
      {{"Stage Left", false, {"Stage Left"}, "Stage Left", 0x80070057},
       {"waiting for \"Stage Left\"", "\"Stage Left\" is listed",
        "its texture does not open here (error 0x80070057)",
        "(a sender on another graphics adapter cannot be shared)", "no other sender is listed"}},
      {{"", true, {}, "", 0},
       {"following the active sender", "no sender is active", "no senders are listed"}},
      {{"", false, {"A", "B"}, "B", 0},
       {"waiting for a sender (the first listed or the active)", "the active sender is \"B\"",
        "1 other sender listed: right-click to pick"}},
  };
  for (const Case& c : cases) EXPECT_EQ(WaitingLines(c.facts), c.lines) << c.facts.wanted;
}

TEST(WaitingStatusTest, TheLinesAreSaidOnceAfterTwoSecondsOfWaiting) {
  WaitingNotice notice;
  const std::vector<std::string> lines = {"waiting for \"A\"", "no senders are listed"};
  EXPECT_EQ(notice.Waiting(5'000, lines), "");
  notice.Shown();  // a frame came: the next wait starts its two seconds afresh
  EXPECT_EQ(notice.Waiting(6'000, lines), "");
  EXPECT_EQ(notice.Waiting(7'999, lines), "");
  EXPECT_EQ(notice.Waiting(8'000, lines), "waiting: waiting for \"A\"; no senders are listed");
  EXPECT_EQ(notice.Waiting(9'000, lines), "");
}

}  // namespace
}  // namespace tsl

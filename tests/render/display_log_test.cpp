#include "render/display_log.h"

#include <gtest/gtest.h>

#include <string>

#include "render/present_tracker.h"

namespace tsl {
namespace {

// The program writes the display log beside the pace log by this rule and the report finds it
// by the same one.
TEST(DisplayLogTest, BesideThePaceLogByOneRule) {
  const struct {
    const char* pace_log;
    const char* display_log;
  } cases[] = {
      {"pace_log.csv", "pace_log_display.csv"},
      {"C:\\Users\\Zoë\\run.v2\\pace_log.csv", "C:\\Users\\Zoë\\run.v2\\pace_log_display.csv"},
      {"/tmp/run.v2/log", "/tmp/run.v2/log_display"},
      {"runs/.hidden", "runs/.hidden_display"},
  };
  for (const auto& c : cases) EXPECT_EQ(DisplayLogPathFor(c.pace_log), c.display_log);
}

// Every state the log can hold reads back as itself, and nothing else reads as a state.
TEST(DisplayLogTest, EveryStateReadsBackFromItsName) {
  for (const DisplayState s : {DisplayState::kPending, DisplayState::kShown, DisplayState::kLate,
                               DisplayState::kNeverShown, DisplayState::kUnplaced,
                               DisplayState::kNotMeasured, DisplayState::kNotPresented}) {
    DisplayState read = DisplayState::kPending;
    ASSERT_TRUE(ParseDisplayState(DisplayStateName(s), read)) << DisplayStateName(s);
    EXPECT_EQ(read, s);
  }
  DisplayState read = DisplayState::kShown;
  EXPECT_FALSE(ParseDisplayState("Shown", read));
  EXPECT_FALSE(ParseDisplayState("", read));
  EXPECT_EQ(read, DisplayState::kShown);
}

}  // namespace
}  // namespace tsl

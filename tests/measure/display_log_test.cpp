#include "measure/display_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "measure/display_vocabulary.h"

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

std::string Contents(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The pair is written whole or not at all: when the display log cannot be written, the pace log
// before it is left as it was (no new pace log beside an old display log), and nothing half
// written stays behind.
TEST(DisplayLogTest, APairThatCannotBeWrittenWholeLeavesThePairBefore) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / "tsl_display_log_pair";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string pace = (dir / "pace_log.csv").string();
  const std::vector<PaceSample> first = {{0, 100, 101, 150, false, 1},
                                         {1, 200, 201, 250, false, 2}};
  ASSERT_TRUE(WriteTickLogs(pace, first, {}, 10'000'000));
  const std::string pace_before = Contents(pace);
  const std::string display_before = Contents(DisplayLogPathFor(pace));
  ASSERT_FALSE(display_before.empty());

  fs::create_directory(DisplayLogPathFor(pace) + ".part");  // its part cannot be written
  const std::vector<PaceSample> second = {{5, 500, 501, 550, true, 3}};
  EXPECT_FALSE(WriteTickLogs(pace, second, {}, 10'000'000));
  EXPECT_EQ(Contents(pace), pace_before);
  EXPECT_EQ(Contents(DisplayLogPathFor(pace)), display_before);
  EXPECT_FALSE(fs::exists(pace + ".part"));

  fs::remove(DisplayLogPathFor(pace) + ".part");
  EXPECT_TRUE(WriteTickLogs(pace, second, {}, 10'000'000));
  EXPECT_NE(Contents(pace), pace_before);
  EXPECT_FALSE(fs::exists(pace + ".part"));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace tsl

#include "common/tool_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tsl::tools {
namespace {

struct Set {
  std::string name = "default";
  double fps = 30.0;
  uint32_t burst = 0;
  bool emulate = false;
};

bool Parse(std::vector<std::string> args, Set& set) {
  std::vector<char*> argv = {const_cast<char*>("tool")};
  for (std::string& a : args) argv.push_back(a.data());
  return ToolOptions()
      .Text("--name", set.name)
      .Number("--fps", set.fps)
      .Count("--burst", set.burst, 1)
      .Flag("--emulate", set.emulate)
      .Parse(static_cast<int>(argv.size()), argv.data());
}

// Each option sets its own variable; what a tool cannot read is refused, never read as 0.
TEST(ToolOptionsTest, OptionsSetTheirVariablesAndBadValuesAreRefused) {
  Set set;
  ASSERT_TRUE(Parse({"--name", "A B", "--fps", "59.94", "--emulate", "--burst", "12"}, set));
  EXPECT_EQ(set.name, "A B");
  EXPECT_DOUBLE_EQ(set.fps, 59.94);
  EXPECT_EQ(set.burst, 12u);
  EXPECT_TRUE(set.emulate);
  const std::vector<std::vector<std::string>> refused = {
      {"--fps", "abc"},  {"--fps", "30x"}, {"--fps"},          {"--burst", "0"},
      {"--burst", "-3"}, {"--burst", ""},  {"--unknown", "1"}, {"--emulate", "--bogus"}};
  for (const auto& args : refused) {
    Set untouched;
    EXPECT_FALSE(Parse(args, untouched)) << args.front() << " " << (args.size() > 1 ? args[1] : "");
    EXPECT_EQ(untouched.burst, 0u);
  }
}

}  // namespace
}  // namespace tsl::tools

#include "receive/sender_pick.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tsl {
namespace {

// One scan of a receiver that has no sender name of its own.
struct Scan {
  int64_t now_ms;
  std::vector<std::string> listed;
  std::string active;
  bool connected_since_last;  // a pass between the last scan and this one was connected
  std::string expected;
};

void RunScans(const std::vector<Scan>& scans) {
  SenderPick pick;
  for (size_t i = 0; i < scans.size(); ++i) {
    const Scan& s = scans[i];
    if (s.connected_since_last) pick.Connected(s.now_ms - 1);
    EXPECT_EQ(pick.Choose(s.listed, s.active, s.now_ms), s.expected) << "scan " << i;
  }
}

TEST(SenderPickTest, TheFirstListedThenTheActiveThenTheNextName) {
  // A dead name at the head of the list is kept for the patience, then given up for the active
  // sender; a name that connects is kept however long it connects.
  RunScans({{0, {"Bad", "Good"}, "Good", false, "Bad"},
            {500, {"Bad", "Good"}, "Good", false, "Bad"},
            {1'999, {"Bad", "Good"}, "Good", false, "Bad"},
            {2'000, {"Bad", "Good"}, "Good", false, "Good"},
            {9'000, {"Bad", "Good"}, "Good", true, "Good"}});
  // The dead name is the active one too: the next listed name, wrapping round the list.
  RunScans({{0, {"A", "B", "C"}, "A", false, "A"},
            {2'000, {"A", "B", "C"}, "A", false, "B"},
            {4'000, {"A", "B", "C"}, "A", false, "A"},
            {6'000, {"A", "B", "C"}, "A", false, "B"},
            {8'000, {"A", "B", "C"}, "", false, "C"},
            {10'000, {"A", "B", "C"}, "", false, "A"}});
}

TEST(SenderPickTest, APickThatLeavesTheListStartsOverAndNothingListedFollowsTheActive) {
  RunScans({{0, {}, "", false, ""},
            {500, {}, "Live", false, "Live"},
            {1'000, {"First", "Live"}, "Live", false, "Live"},  // still the active one: kept
            {1'500, {"First"}, "", false, "First"},             // gone from both: the head again
            {2'000, {"Other"}, "", false, "Other"},
            // A sender that connected and was lost is retried for the patience, counted from the
            // last connected pass.
            {6'000, {"Other", "Z"}, "", true, "Other"},
            {7'998, {"Other", "Z"}, "", false, "Other"},
            {8'000, {"Other", "Z"}, "", false, "Z"}});
}

}  // namespace
}  // namespace tsl

#include "window/monitor_order.h"

#include <gtest/gtest.h>

#include <vector>

namespace tsl {
namespace {

struct Monitor {
  int id;
  bool primary;
};

std::vector<int> Ids(const std::vector<Monitor>& monitors) {
  std::vector<int> ids;
  for (const Monitor& m : monitors) ids.push_back(m.id);
  return ids;
}

TEST(MonitorOrderTest, PrimaryComesFirstAndTheRestKeepTheSystemOrder) {
  struct Case {
    std::vector<Monitor> listed;
    std::vector<int> expected;
  };
  const Case cases[] = {
      {{{1, false}, {0, true}}, {0, 1}},  // the system lists the secondary first
      {{{0, true}, {1, false}}, {0, 1}},
      {{{3, false}, {1, false}, {0, true}, {2, false}}, {0, 3, 1, 2}},
      {{{5, false}}, {5}},
      {{}, {}},
  };
  for (Case c : cases) {
    OrderPrimaryFirst(c.listed);
    EXPECT_EQ(Ids(c.listed), c.expected);
  }
}

}  // namespace
}  // namespace tsl

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

TEST(MonitorOrderTest, AListedMonitorIsOneLine) {
  EXPECT_EQ(MonitorLine(0, L"DELL U2720Q", 3840, 2160, 59.997, true),
            "0 \"DELL U2720Q\" 3840x2160 @ 59.997 Hz primary\n");
  EXPECT_EQ(MonitorLine(1, L"Wall \"B\"\x00e9", 1920, 1080, 50.0, false),
            "1 \"Wall ?B??\" 1920x1080 @ 50.000 Hz\n");
  EXPECT_EQ(MonitorLine(2, L"X", 800, 600, 0.0, false), "2 \"X\" 800x600 refresh unknown\n");
}

// A person names a monitor as the system does, in any case, or by the start of its name.
TEST(MonitorOrderTest, AMonitorIsFoundByItsNameOrAUniqueStartOfIt) {
  const std::vector<std::wstring> names = {L"DELL U2720Q", L"LED Wall", L"LED Wall 2",
                                           L"Projector"};
  struct Case {
    const wchar_t* wanted;
    int32_t index;
    bool ambiguous;
  };
  for (const Case c :
       {Case{L"projector", 3, false}, Case{L"dell", 0, false}, Case{L"led wall", 1, false},
        Case{L"LED", -1, true}, Case{L"LED Wall 2", 2, false}, Case{L"Beamer", -1, false},
        Case{L"", -1, false}}) {
    bool ambiguous = true;
    EXPECT_EQ(MonitorByName(names, c.wanted, ambiguous), c.index) << c.wanted;
    EXPECT_EQ(ambiguous, c.ambiguous) << c.wanted;
  }
}

}  // namespace
}  // namespace tsl

#include "app/sender_menu.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "weft/weft_protocol.h"

namespace tsl {
namespace {

std::vector<ListedSender> Senders() {
  ListedSender plain{"Larkmoor Weft Output", true, 1920, 1080, weft::kFormatBgra8, false};
  ListedSender odd{"Caf\xE9 \"Q\" \\ R&D\x01\tX", true, 640, 360, weft::kFormatRgba8, true};
  ListedSender gone{"Gone", false, 0, 0, 0, false};
  ListedSender held{"Held", false, 0, 0, 0, false, true};
  return {plain, odd, gone, held};
}

TEST(SenderMenuTest, TheListPrintsEachSenderOnALineWithNothingCut) {
  EXPECT_EQ(SenderListText(Senders()),
            "\"Larkmoor Weft Output\" 1920x1080 BGRA8\n"
            "\"Caf\\xE9 \\\"Q\\\" \\\\ R&D\\x01\\x09X\" 640x360 RGBA8, active\n"
            "\"Gone\" unknown size and format\n"
            "\"Held\" busy\n");
  EXPECT_EQ(SenderListText({}), "no senders are listed\n");
  // A 255-byte name of two-byte characters: every byte is there, escaped.
  const std::string long_name(255, '\xC3');
  EXPECT_EQ(EscapedName(long_name).size(), 255u * 4);
}

TEST(SenderMenuTest, TheMenuMarksTheSenderShownAndMapsItsCommandsBack) {
  const std::vector<ListedSender> senders = Senders();
  std::vector<MenuItem> items = SenderMenu(senders, "Gone", false);
  ASSERT_EQ(items.size(), 6u);
  EXPECT_EQ(items[0].text, L"Larkmoor Weft Output\t1920x1080 BGRA8");
  // Escaped as the list prints it (the tab in the name would split the item), && to show one &.
  EXPECT_EQ(items[1].text, L"Caf\\xE9 \\\"Q\\\" \\\\ R&&D\\x01\\x09X\t640x360 RGBA8");
  EXPECT_EQ(items[2].text, L"Gone\tunknown size and format");
  EXPECT_EQ(items[3].text, L"Held\tbusy");
  EXPECT_EQ(items[4].command, 0u);  // the separator
  EXPECT_EQ(items[5].text, L"Follow the active sender");
  const bool checked[] = {false, false, true, false, false, false};
  for (size_t i = 0; i < items.size(); ++i) EXPECT_EQ(items[i].checked, checked[i]) << i;
  // Following the active sender: that item is checked, no sender is.
  items = SenderMenu(senders, "Gone", true);
  EXPECT_FALSE(items[2].checked);
  EXPECT_TRUE(items[5].checked);

  std::string name = "unchanged";
  EXPECT_TRUE(SenderForCommand(senders, items[1].command, name));
  EXPECT_EQ(name, senders[1].name);
  EXPECT_TRUE(SenderForCommand(senders, kFollowActiveCommand, name));
  EXPECT_EQ(name, "");
  name = "unchanged";
  EXPECT_FALSE(SenderForCommand(senders, kFirstSenderCommand + 4, name));
  EXPECT_FALSE(SenderForCommand(senders, 0, name));
  EXPECT_EQ(name, "unchanged");
}

}  // namespace
}  // namespace tsl

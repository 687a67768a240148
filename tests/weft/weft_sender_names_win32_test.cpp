// The sender registry against a real second process that registers senders. These tests share
// the machine-wide list "WeftSenderNames", so ctest runs them one at a time.
#include "weft/weft_sender_names_win32.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/peer_process_win32.h"
#include "support/weft_test_env_win32.h"
#include "weft/weft_sender_win32.h"

namespace {

using tsl::testing::PeerProcess;
using tsl::testing::ScopedWeftSetting;

std::vector<std::string> Listed(weftSenderNames& names) {
  weft::SenderSet set;
  EXPECT_TRUE(names.ReadSenderSet(set));
  return {set.begin(), set.end()};
}

std::string Active(weftSenderNames& names) {
  char buffer[256] = {};
  return names.ReadActiveSender(buffer, sizeof buffer) ? buffer : "(none)";
}

TEST(WeftSenderNamesTest, CountingDropsASenderWhoseSegmentIsGone) {
  PeerProcess peer;
  ASSERT_TRUE(peer.Started());
  ASSERT_EQ(peer.Send("register TslSn_A 1 64 32 87"), "ok");
  ASSERT_EQ(peer.Send("register TslSn_B 2 64 32 87"), "ok");
  weftSenderNames names;
  EXPECT_EQ(names.CountSenders(), 2);
  char name[256] = "untouched";
  ASSERT_TRUE(names.SenderNameAt(1, name, sizeof name));
  EXPECT_STREQ(name, "TslSn_B");
  EXPECT_FALSE(names.SenderNameAt(2, name, sizeof name));
  EXPECT_STREQ(name, "TslSn_B");  // unchanged on failure
  EXPECT_FALSE(names.SenderNameAt(-1, name, sizeof name));

  weft::SenderInfoRecord record;
  ASSERT_TRUE(names.ReadSenderInfo("TslSn_B", record));
  EXPECT_EQ(record.shareHandle, 2u);
  EXPECT_EQ(record.width, 64u);

  // A sender holding its own segment's lock past the wait is busy, not gone: it stays listed
  // and counted for as long as it holds it.
  ASSERT_EQ(peer.Send("hold TslSn_B_mutex"), "ok");
  const ULONGLONG held_until = GetTickCount64() + 2'000;
  while (GetTickCount64() < held_until) {
    EXPECT_EQ(names.CountSenders(), 2);
    Sleep(200);
  }
  EXPECT_FALSE(names.ReadSenderInfo("TslSn_B", record));
  ASSERT_EQ(peer.Send("release TslSn_B_mutex"), "ok");
  EXPECT_EQ(Listed(names), (std::vector<std::string>{"TslSn_A", "TslSn_B"}));

  ASSERT_EQ(peer.Send("drop TslSn_A"), "ok");  // still listed, segment gone
  EXPECT_EQ(names.CountSenders(), 1);
  EXPECT_EQ(Listed(names), std::vector<std::string>{"TslSn_B"});
  EXPECT_FALSE(names.ReadSenderInfo("TslSn_A", record));

  // Names no segment can have (a backslash makes the system read a path) are gone too.
  ASSERT_TRUE(weft::EditSenderList("TslSn\\Path", true));
  ASSERT_TRUE(weft::EditSenderList("TslSn_Missing\\", true));
  EXPECT_EQ(names.CountSenders(), 1);
  EXPECT_EQ(Listed(names), std::vector<std::string>{"TslSn_B"});

  ASSERT_EQ(peer.Send("drop TslSn_B"), "ok");
  EXPECT_EQ(names.CountSenders(), 0);
}

TEST(WeftSenderNamesTest, ActiveSenderMovesWhenTheActiveOneUnregisters) {
  PeerProcess peer;
  ASSERT_TRUE(peer.Started());
  for (const char* n : {"TslSn_X", "TslSn_Y", "TslSn_Z"}) {
    ASSERT_EQ(peer.Send(std::string("register ") + n + " 5 8 8 87"), "ok");
  }
  ASSERT_EQ(peer.Send("active TslSn_Z"), "ok");
  weftSenderNames names;
  EXPECT_EQ(Active(names), "TslSn_Z");

  // Removing the active sender while X and Y remain makes X, the first in order, active.
  EXPECT_TRUE(names.UnregisterSenderName("TslSn_Z"));
  EXPECT_EQ(Active(names), "TslSn_X");
  EXPECT_FALSE(names.UnregisterSenderName("TslSn_Z"));  // no longer listed

  // Removing a non-active sender that leaves one name makes that name active.
  ASSERT_EQ(peer.Send("active TslSn_X"), "ok");
  EXPECT_TRUE(names.UnregisterSenderName("TslSn_X"));
  EXPECT_EQ(Active(names), "TslSn_Y");

  // The active sender's segment is gone: the read fails and the active segment is let go.
  ASSERT_EQ(peer.Send("drop TslSn_Y"), "ok");
  EXPECT_EQ(Active(names), "(none)");
  EXPECT_TRUE(names.UnregisterSenderName("TslSn_Y"));

  // Names that cannot be in the list are refused without touching it.
  EXPECT_FALSE(names.UnregisterSenderName(nullptr));
  EXPECT_FALSE(names.UnregisterSenderName(std::string(300, 'n').c_str()));
}

TEST(WeftSenderNamesTest, SetActiveSenderNameTakesUpTo255Bytes) {
  weftSenderNames names;
  EXPECT_TRUE(names.setActiveSenderName(std::string(255, 'a').c_str()));
  EXPECT_FALSE(names.setActiveSenderName(std::string(256, 'a').c_str()));
  EXPECT_FALSE(names.setActiveSenderName(""));
}

TEST(WeftSenderNamesTest, MaxSendersComesFromTheRegistryWithUnusableValuesFallingBack) {
  struct Case {
    std::optional<DWORD> value;
    int32_t expected;
  };
  for (const Case& c : {Case{std::nullopt, 64}, Case{8, 8}, Case{0, 64}, Case{0x800000, 64},
                        Case{0x7FFFFF, 0x7FFFFF}, Case{0xFFFFFFFF, 64}}) {
    ScopedWeftSetting setting(weft::kMaxSendersValue, c.value);
    weftSenderNames names;
    EXPECT_EQ(names.MaxSenders(), c.expected) << (c.value ? *c.value : 0);
  }
}

}  // namespace

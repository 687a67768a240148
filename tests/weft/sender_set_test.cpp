#include "weft/sender_set.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "weft/weft_names.h"
#include "weft/weft_protocol.h"

namespace weft {
namespace {

std::vector<uint8_t> Slots(const std::vector<std::string>& names, int32_t max_senders,
                           uint8_t fill = 0) {
  std::vector<uint8_t> view(static_cast<size_t>(max_senders) * kSlotBytes, fill);
  for (size_t i = 0; i < names.size(); ++i) {
    std::memcpy(view.data() + i * kSlotBytes, names[i].data(), names[i].size());
    if (names[i].size() < kSlotBytes) view[i * kSlotBytes + names[i].size()] = 0;
  }
  return view;
}

std::vector<std::string> Names(const SenderSet& set) { return {set.begin(), set.end()}; }

TEST(SenderSetTest, OrderIsByteWiseWithPrefixesFirst) {
  const SenderSet set = {"abc",
                         "ABCD",
                         "ABC",
                         "\xC3\x9C"
                         "ber",
                         "Z",
                         "A"};
  EXPECT_EQ(Names(set), (std::vector<std::string>{"A", "ABC", "ABCD", "Z", "abc",
                                                  "\xC3\x9C"
                                                  "ber"}));
}

TEST(SenderSlotsTest, ParseStopsAtTheFirstSlotNotAboveZeroAndDropsDuplicates) {
  struct Case {
    const char* what;
    std::vector<uint8_t> view;
    int32_t max_senders;
    std::vector<std::string> expected;
  };
  std::vector<uint8_t> high_first = Slots({"Camera"}, 4);
  high_first[0] = 0xC3;
  std::vector<uint8_t> after_gap = Slots({"A", "", "B"}, 4);
  const Case cases[] = {
      {"duplicates and unsorted", Slots({"B", "A", "A", ""}, 4), 4, {"A", "B"}},
      {"0xC3 first byte is an empty list", high_first, 4, {}},
      {"nothing after the first empty slot", after_gap, 4, {"A"}},
      {"exactly maxSenders names", Slots({"c", "b", "a"}, 3, 'x'), 3, {"a", "b", "c"}},
      {"new segment", std::vector<uint8_t>(4 * kSlotBytes, 0), 4, {}},
  };
  for (const Case& c : cases) {
    SenderSet set = {"stale"};
    ParseSenderSlots(c.view.data(), c.view.size(), set, c.max_senders);
    EXPECT_EQ(Names(set), c.expected) << c.what;
  }
}

TEST(SenderSlotsTest, SlotWithoutTerminatorYields255Bytes) {
  std::vector<uint8_t> view(2 * kSlotBytes, 'N');  // both slots full, no NUL anywhere
  SenderSet set;
  ParseSenderSlots(view.data(), view.size(), set, 2);
  ASSERT_EQ(set.size(), 1u);
  EXPECT_EQ(set.begin()->size(), kMaxNameBytes);
}

TEST(SenderSlotsTest, StoreWritesSortedNamesAndOnlyTheNextFirstByte) {
  std::vector<uint8_t> view = Slots({"B", "A", "A"}, 5, 0xEE);  // slot 3 starts with 0xEE
  SenderSet set;
  ParseSenderSlots(view.data(), view.size(), set, 5);
  const std::vector<uint8_t> before = view;
  StoreSenderSlots(view.data(), view.size(), set, 5);
  EXPECT_STREQ(reinterpret_cast<const char*>(view.data()), "A");
  EXPECT_STREQ(reinterpret_cast<const char*>(view.data() + kSlotBytes), "B");
  EXPECT_EQ(view[2 * kSlotBytes], 0);
  // The rest of slot 2 and all later slots keep their old bytes.
  EXPECT_TRUE(std::equal(view.begin() + 2 * kSlotBytes + 1, view.end(),
                         before.begin() + 2 * kSlotBytes + 1));
  // Only "A\0" and "B\0" and one terminator byte changed in the first two slots.
  EXPECT_TRUE(std::equal(view.begin() + 2, view.begin() + kSlotBytes, before.begin() + 2));
}

TEST(SenderSlotsTest, FullListHasNoTerminatorAndParsingStopsAtMaxSenders) {
  std::vector<uint8_t> view(4 * kSlotBytes, 'q');  // a fourth slot past maxSenders 3
  const SenderSet set = {"c", "a", "b"};
  StoreSenderSlots(view.data(), view.size(), set, 3);
  EXPECT_EQ(view[3 * kSlotBytes], 'q');  // nothing written past the three slots
  SenderSet parsed;
  ParseSenderSlots(view.data(), view.size(), parsed, 3);
  EXPECT_EQ(Names(parsed), (std::vector<std::string>{"a", "b", "c"}));
}

TEST(SenderSlotsTest, AViewSmallerThanMaxSendersIsNeverOverrun) {
  // A list made by a process with MaxSenders 2, read by one configured for 64.
  std::vector<uint8_t> view = Slots({"x", "y"}, 2);
  SenderSet parsed;
  ParseSenderSlots(view.data(), view.size(), parsed, 64);
  EXPECT_EQ(Names(parsed), (std::vector<std::string>{"x", "y"}));
  const SenderSet bigger = {"a", "b", "c", "d"};
  StoreSenderSlots(view.data(), view.size(), bigger, 64);  // ASan catches a write past the end
  ParseSenderSlots(view.data(), view.size(), parsed, 64);
  EXPECT_EQ(Names(parsed), (std::vector<std::string>{"a", "b"}));
  // A partial trailing slot is not a slot.
  std::vector<uint8_t> ragged(kSlotBytes + 10, 'r');
  ParseSenderSlots(ragged.data(), ragged.size(), parsed, 64);
  EXPECT_EQ(parsed.size(), 1u);
}

TEST(SenderInfoRecordTest, LittleEndianWordsAndSignExtendedHandle) {
  uint8_t bytes[kSenderInfoRecordBytes];
  for (size_t i = 0; i < sizeof bytes; ++i) bytes[i] = static_cast<uint8_t>(i * 7);
  const uint8_t head[16] = {0x04, 0x03, 0x02, 0x80, 0x80, 0x07, 0, 0,
                            0x38, 0x04, 0,    0,    0x57, 0,    0, 0};
  std::memcpy(bytes, head, sizeof head);
  const SenderInfoRecord r = ReadSenderInfoRecord(bytes);
  EXPECT_EQ(r.shareHandle, 0x80020304u);
  EXPECT_EQ(r.width, 1920u);
  EXPECT_EQ(r.height, 1080u);
  EXPECT_EQ(r.format, weft::kFormatBgra8);
  EXPECT_EQ(std::memcmp(r.rest, bytes + 16, 264), 0);
  EXPECT_EQ(ShareHandleValue(r.shareHandle), static_cast<intptr_t>(-2147351804));  // sign-extended
  EXPECT_EQ(ShareHandleValue(0x00001234u), 0x1234);

  uint8_t round_trip[kSenderInfoRecordBytes] = {};
  WriteSenderInfoRecord(r, round_trip);
  EXPECT_EQ(std::memcmp(round_trip, bytes, sizeof bytes), 0);
}

TEST(WeftNamesTest, ObjectNamesAndTheirLimits) {
  std::string out;
  EXPECT_TRUE(SegmentMutexName("WeftSenderNames", out));
  EXPECT_EQ(out, "WeftSenderNames_mutex");
  EXPECT_TRUE(CountSemaphoreName("Camera", out));
  EXPECT_EQ(out, "Camera_Count_Semaphore");
  EXPECT_TRUE(AccessMutexName("Camera", out));
  EXPECT_EQ(out, "Camera_WeftAccessMutex");

  const std::string n239(239, 's');
  const std::string n240(240, 's');
  EXPECT_TRUE(CountSemaphoreName(n239.c_str(), out));
  EXPECT_EQ(out.size(), 255u);
  EXPECT_FALSE(CountSemaphoreName(n240.c_str(), out));
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(AccessMutexName(std::string(255, 'a').c_str(), out));
  EXPECT_FALSE(AccessMutexName(nullptr, out));

  // A name of 256 bytes or more (or unterminated within 256) is refused outright.
  char unterminated[300];
  std::memset(unterminated, 'u', sizeof unterminated);
  EXPECT_EQ(BoundedNameLength(unterminated), -1);
  unterminated[255] = 0;
  EXPECT_EQ(BoundedNameLength(unterminated), 255);
  EXPECT_EQ(BoundedNameLength(nullptr), -1);

  char buffer[4] = {'k', 'k', 'k', 'k'};
  EXPECT_FALSE(CopyNameOut("four", buffer, sizeof buffer));
  EXPECT_EQ(buffer[0], 'k');
  EXPECT_TRUE(CopyNameOut("abc", buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "abc");
}

}  // namespace
}  // namespace weft

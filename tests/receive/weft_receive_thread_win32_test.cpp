// The receive thread against a sender in another process: what reaches the frame slot, when,
// and how it is counted. Textures travel through the emulated opener (the platform here cannot
// share them); the list, the records, the counter and the access lock are real.
#include "receive/weft_receive_thread_win32.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "emulation/frame_code.h"
#include "receive/sender_list_win32.h"
#include "support/peer_process_win32.h"
#include "support/wait_until_win32.h"
#include "support/weft_test_env_win32.h"
#include "weft/weft_sender_names_win32.h"

namespace tsl {
namespace {

using testing::PeerProcess;
using testing::ScopedWeftSetting;
using testing::WaitUntil;

class ReceiveThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(device_.Create());
    ASSERT_TRUE(peer_.Started());
  }
  void TearDown() override {
    receiver_.reset();
    for (const std::string& name : listed_) peer_.Send("unlist " + name);
  }
  void Sender(const std::string& name, const std::string& handle, const std::string& size,
              const std::string& rgba) {
    ASSERT_EQ(peer_.Send("publish " + handle + " " + size + " 87 " + rgba), "ok");
    ASSERT_EQ(peer_.Send("register " + name + " " + handle + " " + size + " 87"), "ok");
    listed_.push_back(name);
  }
  // Made here, after the test's settings: the receiver reads them when it is made.
  bool Start(const std::string& name) {
    receiver_ = std::make_unique<WeftReceiveThread>();
    return receiver_->Start(&device_, &slot_, name);
  }
  SlotFrame Latest() {
    SlotFrame frame;
    EXPECT_TRUE(slot_.Latest(frame));
    return frame;
  }
  std::optional<uint32_t> FrameNumber(const SlotFrame& frame) {
    uint32_t width = 0;
    const std::vector<uint32_t> pixels =
        testing::ReadPixels(device_.device.Get(), frame.texture.Get(), width);
    if (pixels.empty()) return std::nullopt;
    return emulation::DecodeFrameCode(pixels, width, width, frame.height / 2);
  }

  GpuDevice device_;
  FrameSlot slot_;
  PeerProcess peer_;
  std::unique_ptr<WeftReceiveThread> receiver_;
  std::vector<std::string> listed_;
};

// Without frame counting each tick takes the sender's texture as it is at that moment: every
// tick gets one publication holding the frame drawn just before it, none comes between ticks,
// and it never lands in the texture the slot hands out.
TEST_F(ReceiveThreadTest, AnUncountedSenderIsTakenOncePerTickAsNewAsItsTexture) {
  ScopedWeftSetting off(weft::kFrameCountValue, std::nullopt);
  Sender("TslRt_Uncounted", "8101", "64 36", "ff000000");
  ASSERT_TRUE(Start("TslRt_Uncounted"));
  ASSERT_TRUE(WaitUntil([&] { return receiver_->connected && receiver_->publicationCount > 0; }));
  Sleep(300);
  const uint64_t quiet = receiver_->publicationCount;
  Sleep(300);
  EXPECT_EQ(receiver_->publicationCount, quiet) << "published with no tick asking";

  SlotFrame previous = Latest();
  for (uint32_t n = 1; n <= 12; ++n) {
    ASSERT_EQ(peer_.Send("frame TslRt_Uncounted 8101 " + std::to_string(n)), "ok");
    receiver_->TakeFrameForTick(std::chrono::seconds(2));
    const SlotFrame frame = Latest();
    EXPECT_EQ(frame.version, previous.version + 1) << n;
    EXPECT_NE(frame.texture.Get(), previous.texture.Get()) << n;
    EXPECT_EQ(FrameNumber(frame), n);
    previous = frame;
  }
  EXPECT_EQ(receiver_->receivedCount, receiver_->publicationCount);
}

// With frame counting: several frames signalled between two looks are all counted in "recv"
// though published once; a new texture that the sender's lock keeps us from copying is not
// published (the slot keeps the last real frame) until a copy succeeds.
TEST_F(ReceiveThreadTest, CountedFramesAddTheirStepAndOnlyCopiedFramesArePublished) {
  ScopedWeftSetting on(weft::kFrameCountValue, 1);
  Sender("TslRt_Counted", "8201", "64 32", "ff00ff00");
  ASSERT_EQ(peer_.Send("signal TslRt_Counted 1"), "ok");
  ASSERT_TRUE(Start("TslRt_Counted"));
  ASSERT_TRUE(WaitUntil([&] { return receiver_->publicationCount == 1; }));
  EXPECT_EQ(receiver_->receivedCount, 1u);

  ASSERT_EQ(peer_.Send("signal TslRt_Counted 3"), "ok");
  ASSERT_TRUE(WaitUntil([&] { return receiver_->receivedCount == 4; }));
  Sleep(100);
  EXPECT_EQ(receiver_->publicationCount, 2u);

  ASSERT_EQ(peer_.Send("hold TslRt_Counted_WeftAccessMutex"), "ok");
  Sender("TslRt_Counted", "8202", "128 48", "ff0000ff");
  ASSERT_EQ(peer_.Send("signal TslRt_Counted 1"), "ok");
  Sleep(500);
  EXPECT_EQ(receiver_->publicationCount, 2u);
  EXPECT_EQ(Latest().width, 64u);
  EXPECT_TRUE(receiver_->connected);

  ASSERT_EQ(peer_.Send("release TslRt_Counted_WeftAccessMutex"), "ok");
  ASSERT_TRUE(WaitUntil([&] { return receiver_->publicationCount == 3; }));
  const SlotFrame frame = Latest();
  EXPECT_EQ(frame.width, 128u);
  EXPECT_EQ(testing::ReadFirstPixel(device_.device.Get(), frame.texture.Get()), 0xFF0000FFu);
}

// A listed name whose segment does not exist is dropped and not counted while connected too.
TEST_F(ReceiveThreadTest, DeadNamesAreDroppedWhileConnected) {
  Sender("TslRt_Live", "8301", "16 16", "ff00ff00");
  Sender("TslRt_Dead", "8302", "16 16", "ff00ff00");
  ASSERT_EQ(peer_.Send("drop TslRt_Dead"), "ok");
  ASSERT_TRUE(Start("TslRt_Live"));
  ASSERT_TRUE(WaitUntil([&] { return receiver_->connected.load(); }));

  weftSenderNames names;
  const auto listed_dead = [&] {
    weft::SenderSet set;
    return names.ReadSenderSet(set) && set.count("TslRt_Dead") > 0;
  };
  EXPECT_TRUE(WaitUntil([&] { return !listed_dead(); }, 5'000));
  Sleep(600);  // a scan after the drop
  weft::SenderSet set;
  ASSERT_TRUE(names.ReadSenderSet(set));
  EXPECT_EQ(receiver_->senderCount, static_cast<int32_t>(set.size()));
  EXPECT_TRUE(receiver_->connected);
}

// A peer holding the locks of 63 listed senders (with the one received, a full list) holds
// nothing up: the menu's list shows them busy, the count keeps them, and the receive thread's
// scans do not keep a tick's take waiting. Waited for in turn, each lock costs its 67 ms.
TEST_F(ReceiveThreadTest, SendersHoldingTheirLocksHoldNothingUp) {
  ScopedWeftSetting off(weft::kFrameCountValue, std::nullopt);
  Sender("TslRt_Shown", "8311", "16 16", "ff00ff00");
  constexpr int kHeld = 63;
  for (int i = 0; i < kHeld; ++i) {
    const std::string name = "TslRt_Held" + std::to_string(i);
    ASSERT_EQ(peer_.Send("register " + name + " 8312 16 16 87"), "ok");
    listed_.push_back(name);
    ASSERT_EQ(peer_.Send("hold " + name + "_mutex"), "ok");
  }
  const auto elapsed_ms = [](auto&& walk) {
    const ULONGLONG start = GetTickCount64();
    walk();
    return GetTickCount64() - start;
  };

  std::vector<ListedSender> listed;
  // The bounds are far above what the walks cost (see the note) and far below 63 waits.
  EXPECT_LT(elapsed_ms([&] { listed = ReadListedSenders(); }), 1'000u);
  int busy = 0;
  for (const ListedSender& s : listed) {
    if (s.name == "TslRt_Shown") {
      EXPECT_TRUE(s.have_info && !s.busy);
    }
    if (s.name.rfind("TslRt_Held", 0) == 0 && s.busy && !s.have_info) ++busy;
  }
  EXPECT_EQ(busy, kHeld);
  weftSenderNames names;
  int32_t count = 0;
  EXPECT_LT(elapsed_ms([&] { count = names.CountSenders(); }), 1'000u);
  EXPECT_GE(count, kHeld + 1) << "a busy sender is alive";

  // Ticks at 60 a second, each waiting up to 30 ms for its take, for 3 s: the receive thread
  // scans the list six times meanwhile.
  ASSERT_TRUE(Start("TslRt_Shown"));
  ASSERT_TRUE(WaitUntil([&] { return receiver_->connected && receiver_->TakesOnRequest(); }));
  int asked = 0;
  int late = 0;
  for (; asked < 180; ++asked) {
    if (!receiver_->TakeFrameForTick(std::chrono::milliseconds(30))) ++late;
    Sleep(16);
  }
  EXPECT_LE(late, asked / 10) << "takes left waiting by the scans";
  for (int i = 0; i < kHeld; ++i) peer_.Send("release TslRt_Held" + std::to_string(i) + "_mutex");
}

}  // namespace
}  // namespace tsl

#include "weft/weft_frame_count_win32.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <sstream>
#include <string>

#include "support/peer_process_win32.h"
#include "support/weft_test_env_win32.h"
#include "weft/weft_log.h"

namespace {

using tsl::testing::PeerProcess;
using tsl::testing::ScopedWeftSetting;

TEST(WeftFrameCountTest, CountIsReadWithoutConsumingAndOnlyNewCountsAreNewFrames) {
  ScopedWeftSetting on(weft::kFrameCountValue, 1);
  PeerProcess peer;
  ASSERT_TRUE(peer.Started());
  WeftFrameCount counter;
  counter.EnableFrameCount("TslFc_Count");

  // No frame signalled yet: no counting information, every call reports a frame.
  EXPECT_TRUE(counter.GetNewFrame());
  EXPECT_TRUE(counter.GetNewFrame());
  EXPECT_FALSE(counter.SenderCountsFrames());

  ASSERT_EQ(peer.Send("signal TslFc_Count 3"), "ok");
  EXPECT_TRUE(counter.GetNewFrame());
  EXPECT_TRUE(counter.SenderCountsFrames());
  EXPECT_EQ(counter.LastStep(), 1);     // the first frame counted
  EXPECT_FALSE(counter.GetNewFrame());  // the read did not consume the count
  ASSERT_EQ(peer.Send("signal TslFc_Count 2"), "ok");
  EXPECT_TRUE(counter.GetNewFrame());
  EXPECT_EQ(counter.LastStep(), 2);

  counter.CleanupFrameCount();
  EXPECT_FALSE(counter.SenderCountsFrames());
  EXPECT_TRUE(counter.GetNewFrame());
}

// Another receiver reads the count the same way: between its take and its give-back the count
// is one lower. Neither side may take the other's reads for frames.
TEST(WeftFrameCountTest, AnotherReceiverReadingTheCountNeitherMakesNorSeesFrames) {
  ScopedWeftSetting on(weft::kFrameCountValue, 1);
  PeerProcess peer;
  ASSERT_TRUE(peer.Started());
  WeftFrameCount counter;
  counter.EnableFrameCount("TslFc_Readers");
  ASSERT_EQ(peer.Send("signal TslFc_Readers 5"), "ok");
  ASSERT_TRUE(counter.GetNewFrame());

  // Runs `poll` until the peer's reads for 300 ms are done; returns how often it said "new"
  // and the peer's reads and dips.
  const auto race = [&](const auto& poll, long& reads, long& dips) {
    auto other =
        std::async(std::launch::async, [&] { return peer.Send("read TslFc_Readers 300"); });
    int news = 0;
    while (other.wait_for(std::chrono::seconds(0)) != std::future_status::ready) news += poll();
    std::istringstream reply(other.get());
    std::string ok;
    reply >> ok >> reads >> dips;
    EXPECT_EQ(ok, "ok");
    return news;
  };
  long reads = 0, dips = 0;
  // Polling for a signal leaves the count alone, however often it looks.
  EXPECT_EQ(race([&] { return counter.FrameSignalled() ? 1 : 0; }, reads, dips), 0);
  EXPECT_GT(reads, 0);
  EXPECT_EQ(dips, 0);
  // A read under the lock takes one and gives it back, as the other receiver does; the two
  // dip each other's counts, and a count below the last one is no frame.
  EXPECT_EQ(race([&] { return counter.GetNewFrame() ? 1 : 0; }, reads, dips), 0);
  EXPECT_GT(dips, 0);  // the reads did overlap

  ASSERT_EQ(peer.Send("signal TslFc_Readers 1"), "ok");
  EXPECT_TRUE(counter.FrameSignalled());
  EXPECT_TRUE(counter.GetNewFrame());
  EXPECT_FALSE(counter.GetNewFrame());
}

TEST(WeftFrameCountTest, SwitchedOffInTheRegistryEveryCallIsANewFrame) {
  for (std::optional<DWORD> value :
       {std::optional<DWORD>{}, std::optional<DWORD>{0}, std::optional<DWORD>{2}}) {
    ScopedWeftSetting off(weft::kFrameCountValue, value);
    WeftFrameCount counter;
    counter.EnableFrameCount("TslFc_Off");
    EXPECT_EQ(weft::LastLogMessage(), "    Setting not enabled");
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(counter.GetNewFrame());
    EXPECT_FALSE(counter.SenderCountsFrames());
  }
}

// The longest name whose semaphore name fits is counted (a second read of the same count is no
// frame); one more character and every call is a new frame.
TEST(WeftFrameCountTest, ASenderNameTooLongForTheSemaphoreIsNotCounted) {
  ScopedWeftSetting on(weft::kFrameCountValue, 1);
  PeerProcess peer;
  ASSERT_TRUE(peer.Started());
  const std::string fits(239, 'L');
  ASSERT_EQ(peer.Send("signal " + fits + " 2"), "ok");
  WeftFrameCount counter;
  counter.EnableFrameCount(std::string(240, 'L').c_str());
  for (int i = 0; i < 2; ++i) EXPECT_TRUE(counter.GetNewFrame());
  EXPECT_FALSE(counter.SenderCountsFrames());
  counter.EnableFrameCount(fits.c_str());
  EXPECT_TRUE(counter.GetNewFrame());
  EXPECT_TRUE(counter.SenderCountsFrames());
  EXPECT_FALSE(counter.GetNewFrame());
}

TEST(WeftFrameCountTest, NamedAccessMutexTimesOutSilentlyWhileTheSenderHoldsIt) {
  PeerProcess peer;
  ASSERT_TRUE(peer.Started());
  auto device = tsl::testing::MakeTestDevice();
  ASSERT_NE(device, nullptr);
  D3D11_TEXTURE2D_DESC desc{};
  desc.Width = desc.Height = 4;
  desc.MipLevels = desc.ArraySize = 1;
  desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
  desc.SampleDesc.Count = 1;
  desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
  Microsoft::WRL::ComPtr<ID3D11Texture2D> texture;
  ASSERT_HRESULT_SUCCEEDED(device->CreateTexture2D(&desc, nullptr, &texture));

  WeftFrameCount counter;
  EXPECT_TRUE(counter.CheckAccess(texture.Get()));  // no access mutex yet: nothing to wait for
  ASSERT_TRUE(counter.CreateAccessMutex("TslFc_Access"));
  EXPECT_TRUE(counter.CheckAccess(texture.Get()));
  EXPECT_TRUE(counter.AllowAccess(texture.Get()));

  ASSERT_EQ(peer.Send("hold TslFc_Access_WeftAccessMutex"), "ok");
  weft::LogNotice("marker");
  EXPECT_FALSE(counter.CheckAccess(texture.Get()));
  EXPECT_EQ(weft::LastLogMessage(), "marker");
  ASSERT_EQ(peer.Send("release TslFc_Access_WeftAccessMutex"), "ok");
  EXPECT_TRUE(counter.CheckAccess(texture.Get()));
  EXPECT_EQ(peer.Send("trylock TslFc_Access_WeftAccessMutex"), "timeout");
  EXPECT_TRUE(counter.AllowAccess(texture.Get()));
  EXPECT_EQ(peer.Send("trylock TslFc_Access_WeftAccessMutex"), "ok");
  EXPECT_TRUE(counter.CheckAccess(nullptr));
}

}  // namespace

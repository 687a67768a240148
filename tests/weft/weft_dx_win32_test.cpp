// The receiver end to end against a sender in another process. Textures travel through the
// test-emulation opener (the platform here cannot share textures); everything else is real:
// the shared list, the sender's record, its semaphore and its access mutex.
#include "weft/weft_dx_win32.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/peer_process_win32.h"
#include "support/weft_test_env_win32.h"
#include "weft/weft_log.h"

namespace {

using Microsoft::WRL::ComPtr;
using tsl::testing::PeerProcess;
using tsl::testing::ScopedWeftSetting;

// First pixels as read back raw from B8G8R8A8 textures (little-endian words).
constexpr uint32_t kPublished = 0xFF00FF00;  // what the peer publishes: green
constexpr uint32_t kSecond = 0xFF0000FF;     // the restarted sender's colour: blue
constexpr uint32_t kPainted = 0xFFFF0000;    // what the test paints over the copy: red
constexpr float kPaint[4] = {1, 0, 0, 1};

// Paints the receiving texture so that a following copy (or its absence) shows.
void Paint(ID3D11Device* device, ID3D11Texture2D* texture, const float rgba[4]) {
  ComPtr<ID3D11RenderTargetView> view;
  ASSERT_HRESULT_SUCCEEDED(device->CreateRenderTargetView(texture, nullptr, &view));
  ComPtr<ID3D11DeviceContext> context;
  device->GetImmediateContext(&context);
  context->ClearRenderTargetView(view.Get(), rgba);
}

class WeftReceiverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device_ = tsl::testing::MakeTestDevice();
    ASSERT_NE(device_, nullptr);
    ASSERT_TRUE(peer_.Started());
    logPath_ = std::filesystem::temp_directory_path() / "tsl_weft_receiver_log.txt";
    std::filesystem::remove(logPath_);
    weft::EnableLogFile(true, logPath_.string());
  }
  void TearDown() override {
    weft::EnableLogFile(false, "");
    std::filesystem::remove(logPath_);
  }
  // The log file is written in text mode: lines end in CR LF here.
  std::string Log() const {
    std::ifstream in(logPath_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  uint32_t Pixel(weftDX& rx) {
    return tsl::testing::ReadFirstPixel(device_.Get(), rx.GetReceivedTexture());
  }

  ComPtr<ID3D11Device> device_;
  PeerProcess peer_;
  std::filesystem::path logPath_;
};

TEST_F(WeftReceiverTest, CopiesOnlyNewFramesWhileFrameCountingIsOn) {
  ScopedWeftSetting on(weft::kFrameCountValue, 1);
  ASSERT_EQ(peer_.Send("publish 1234 64 32 87 ff00ff00"), "ok");
  ASSERT_EQ(peer_.Send("register TslRx_Count 1234 64 32 87"), "ok");
  ASSERT_EQ(peer_.Send("signal TslRx_Count 1"), "ok");

  weftDX rx;
  ASSERT_TRUE(rx.OpenDirectX11(device_.Get()));
  ASSERT_TRUE(rx.SetReceiverName("TslRx_Count"));
  ASSERT_TRUE(rx.ReceiveTexture());
  EXPECT_TRUE(rx.IsConnected());
  EXPECT_EQ(rx.GetSenderWidth(), 64u);
  EXPECT_EQ(rx.GetSenderHeight(), 32u);
  EXPECT_EQ(rx.GetSenderFormat(), DXGI_FORMAT_B8G8R8A8_UNORM);
  EXPECT_STREQ(rx.GetSenderName(), "TslRx_Count");
  EXPECT_EQ(Pixel(rx), kPublished);
  EXPECT_NE(Log().find("[notice] CreateReceiver(TslRx_Count) 64 x 32 : format 87\r\n"),
            std::string::npos);

  Paint(device_.Get(), rx.GetReceivedTexture(), kPaint);
  ASSERT_TRUE(rx.ReceiveTexture());  // the count has not moved: no copy
  EXPECT_EQ(Pixel(rx), kPainted);
  ASSERT_EQ(peer_.Send("signal TslRx_Count 2"), "ok");
  ASSERT_TRUE(rx.ReceiveTexture());  // a new frame: copied
  EXPECT_EQ(Pixel(rx), kPublished);
  EXPECT_EQ(rx.LastFrame(), weftDX::Frame::kNew);
  EXPECT_EQ(rx.LastFrameStep(), 2u);  // two signals between two looks are two frames

  // A new texture at once: its first frame is the new texture's, not the old one called new.
  ASSERT_EQ(peer_.Send("publish 1235 128 48 87 ff0000ff"), "ok");
  ASSERT_EQ(peer_.Send("register TslRx_Count 1235 128 48 87"), "ok");
  ASSERT_EQ(peer_.Send("signal TslRx_Count 1"), "ok");
  ASSERT_TRUE(rx.ReceiveTexture());
  EXPECT_EQ(rx.LastFrame(), weftDX::Frame::kNew);
  EXPECT_EQ(rx.GetSenderWidth(), 128u);
  EXPECT_EQ(Pixel(rx), kSecond);
  ASSERT_EQ(peer_.Send("unlist TslRx_Count"), "ok");
}

TEST_F(WeftReceiverTest, CopiesOnEveryCallWhileFrameCountingIsOff) {
  ScopedWeftSetting off(weft::kFrameCountValue, std::nullopt);
  ASSERT_EQ(peer_.Send("publish 2234 16 16 87 ff00ff00"), "ok");
  ASSERT_EQ(peer_.Send("register TslRx_Every 2234 16 16 87"), "ok");
  weftDX rx;
  ASSERT_TRUE(rx.OpenDirectX11(device_.Get()));
  rx.SetReceiverName("TslRx_Every");
  ASSERT_TRUE(rx.ReceiveTexture());
  for (int i = 0; i < 3; ++i) {
    Paint(device_.Get(), rx.GetReceivedTexture(), kPaint);
    ASSERT_TRUE(rx.ReceiveTexture());
    EXPECT_EQ(Pixel(rx), kPublished) << i;
  }
}

TEST_F(WeftReceiverTest, ANewShareHandleRebuildsTheReceiverAndAGoneSenderReleasesIt) {
  ASSERT_EQ(peer_.Send("publish 3234 64 32 87 ff00ff00"), "ok");
  ASSERT_EQ(peer_.Send("register TslRx_Change 3234 64 32 87"), "ok");
  weftDX rx;
  ASSERT_TRUE(rx.OpenDirectX11(device_.Get()));
  rx.SetReceiverName("TslRx_Change");
  ASSERT_TRUE(rx.ReceiveTexture());
  EXPECT_EQ(Pixel(rx), kPublished);

  // The sender restarts at another size: new texture, new handle in its record.
  ASSERT_EQ(peer_.Send("publish 3235 128 48 87 ff0000ff"), "ok");
  ASSERT_EQ(peer_.Send("register TslRx_Change 3235 128 48 87"), "ok");
  ASSERT_TRUE(rx.ReceiveTexture());
  EXPECT_EQ(rx.GetSenderWidth(), 128u);
  D3D11_TEXTURE2D_DESC desc{};
  rx.GetReceivedTexture()->GetDesc(&desc);
  EXPECT_EQ(desc.Width, 128u);
  EXPECT_EQ(desc.Height, 48u);
  EXPECT_EQ(Pixel(rx), kSecond);
  const std::string log = Log();
  const size_t release = log.find("[notice] ReleaseReceiver(TslRx_Change)\r\n");
  const size_t create = log.find("[notice] CreateReceiver(TslRx_Change) 128 x 48 : format 87\r\n");
  ASSERT_NE(release, std::string::npos) << log;
  ASSERT_NE(create, std::string::npos) << log;
  EXPECT_LT(release, create);

  // The sender goes away: released, not connected, no texture.
  ASSERT_EQ(peer_.Send("unlist TslRx_Change"), "ok");
  ASSERT_EQ(peer_.Send("drop TslRx_Change"), "ok");
  EXPECT_FALSE(rx.ReceiveTexture());
  EXPECT_FALSE(rx.IsConnected());
  EXPECT_EQ(rx.GetSenderWidth(), 0u);
  EXPECT_EQ(rx.GetReceivedTexture(), nullptr);
  EXPECT_STREQ(rx.GetSenderName(), "TslRx_Change");  // back to the name asked for
}

TEST_F(WeftReceiverTest, FollowsTheActiveSenderWhenNoNameIsSet) {
  ASSERT_EQ(peer_.Send("publish 4234 8 8 87 ff00ff00"), "ok");
  ASSERT_EQ(peer_.Send("register TslRx_Active 4234 8 8 87"), "ok");
  ASSERT_EQ(peer_.Send("active TslRx_Active"), "ok");
  weftDX rx;
  ASSERT_TRUE(rx.OpenDirectX11(device_.Get()));
  ASSERT_TRUE(rx.ReceiveTexture());
  EXPECT_STREQ(rx.GetSenderName(), "TslRx_Active");
  EXPECT_GE(rx.GetSenderCount(), 1);
  char active[256] = {};
  EXPECT_TRUE(rx.GetActiveSender(active));
  EXPECT_STREQ(active, "TslRx_Active");
  ASSERT_EQ(peer_.Send("unlist TslRx_Active"), "ok");
  ASSERT_EQ(peer_.Send("drop TslRx_Active"), "ok");
}

TEST_F(WeftReceiverTest, AHandleThatCannotBeOpenedIsWarnedOnceAndNotConnected) {
  ASSERT_EQ(peer_.Send("register TslRx_Bad 5234 8 8 87"), "ok");  // nothing published
  weftDX rx;
  ASSERT_TRUE(rx.OpenDirectX11(device_.Get()));
  EXPECT_FALSE(rx.SetReceiverName(std::string(256, 'n').c_str()));
  rx.SetReceiverName("TslRx_Bad");
  EXPECT_FALSE(rx.ReceiveTexture());
  EXPECT_FALSE(rx.ReceiveTexture());
  const std::string log = Log();
  const std::string warning =
      "[warning] WeftReceiver::ReceiveSenderData - could not retrieve sender texture from share "
      "handle\r\n";
  EXPECT_NE(log.find(warning), std::string::npos) << log;
  EXPECT_EQ(log.find(warning), log.rfind(warning));  // once per handle value
  ASSERT_EQ(peer_.Send("unlist TslRx_Bad"), "ok");
}

}  // namespace

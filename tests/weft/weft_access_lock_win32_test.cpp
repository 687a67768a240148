// The access lock around each copy of the sender's texture, on the paths Wine cannot produce:
// every AcquireSync result of a keyed-mutex texture (with fakes of the interfaces), and a named
// access mutex whose owner died holding it (with a real second process).
#include <gtest/gtest.h>

#include "support/fake_keyed_texture_win32.h"
#include "support/peer_process_win32.h"
#include "weft/weft_frame_count_win32.h"
#include "weft/weft_log.h"

namespace {

using tsl::testing::FakeKeyedMutex;
using tsl::testing::FakeSharedTexture;

TEST(WeftAccessLockTest, AKeyedMutexTextureIsLockedThroughItsKeyedMutexWhateverItAnswers) {
  struct Case {
    HRESULT acquire;
    bool taken;
    const char* log;  // null: nothing logged
  };
  const Case cases[] = {
      {S_OK, true, nullptr},
      {E_FAIL, false, "weftDirectX::CheckKeyedAccess : E_FAIL"},
      {static_cast<HRESULT>(WAIT_ABANDONED), false,
       "weftDirectX::CheckKeyedAccess : WAIT_ABANDONED"},
      {static_cast<HRESULT>(WAIT_TIMEOUT), false, "weftDirectX::CheckKeyedAccess : WAIT_TIMEOUT"},
      {DXGI_ERROR_INVALID_CALL, false,
       "weftDirectX::CheckKeyedAccess - default error : 0x887A0001\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.log == nullptr ? "S_OK" : c.log);
    FakeKeyedMutex keyed;
    keyed.acquire_result = c.acquire;
    FakeSharedTexture texture(D3D11_RESOURCE_MISC_SHARED_KEYEDMUTEX, &keyed);
    WeftFrameCount frame_count;
    weft::LogNotice("marker");
    EXPECT_EQ(frame_count.CheckAccess(&texture), c.taken);
    EXPECT_EQ(keyed.acquires, 1);
    EXPECT_EQ(keyed.last_key, 0u);
    EXPECT_EQ(keyed.last_timeout_ms, 67u);
    EXPECT_EQ(weft::LastLogMessage(), c.log == nullptr ? "marker" : c.log);
    // A lock not taken is given back at once; a taken one stays until AllowAccess.
    EXPECT_EQ(keyed.releases, c.taken ? 0 : 1);
    if (c.taken) {
      EXPECT_TRUE(frame_count.AllowAccess(&texture));
      EXPECT_EQ(keyed.releases, 1);
      EXPECT_EQ(keyed.last_key, 0u);
    }
    EXPECT_EQ(keyed.References(), 1u);  // every interface reference was dropped
  }
}

TEST(WeftAccessLockTest, AKeyedTextureWithoutItsKeyedMutexRefusesAccessBothWays) {
  FakeSharedTexture texture(D3D11_RESOURCE_MISC_SHARED_KEYEDMUTEX, nullptr);
  WeftFrameCount frame_count;
  EXPECT_FALSE(frame_count.CheckAccess(&texture));
  EXPECT_FALSE(frame_count.AllowAccess(&texture));
  // A texture without the flag and no named mutex held: nothing to wait for.
  FakeSharedTexture plain(0, nullptr);
  EXPECT_TRUE(frame_count.CheckAccess(&plain));
  EXPECT_TRUE(frame_count.AllowAccess(&plain));
}

TEST(WeftAccessLockTest, AnAccessMutexAbandonedByADeadSenderFailsOnceAndIsGivenBack) {
  FakeSharedTexture texture(0, nullptr);
  WeftFrameCount frame_count;
  ASSERT_TRUE(frame_count.CreateAccessMutex("TslAbandonedAccess"));
  {
    tsl::testing::PeerProcess sender;
    ASSERT_TRUE(sender.Started());
    sender.Send("abandon TslAbandonedAccess_WeftAccessMutex");  // exits holding it
    EXPECT_EQ(sender.WaitForExit(), 3u);
  }
  EXPECT_FALSE(frame_count.CheckAccess(&texture));
  EXPECT_EQ(weft::LastLogMessage(), "weftFrameCount::CheckAccess - WAIT_ABANDONED");
  // The ownership the wait handed over was given back: this process and another can lock it.
  EXPECT_TRUE(frame_count.CheckAccess(&texture));
  EXPECT_TRUE(frame_count.AllowAccess(&texture));
  tsl::testing::PeerProcess restarted;
  EXPECT_EQ(restarted.Send("trylock TslAbandonedAccess_WeftAccessMutex"), "ok");
}

}  // namespace

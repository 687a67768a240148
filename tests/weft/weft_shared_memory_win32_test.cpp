#include "weft/weft_shared_memory_win32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>

#include "support/peer_process_win32.h"
#include "weft/weft_log.h"

namespace {

using tsl::testing::PeerProcess;

TEST(WeftSharedMemoryTest, CreateOpenAndHeldResultsShareTheBytesAcrossProcesses) {
  PeerProcess peer;
  ASSERT_TRUE(peer.Started());
  WeftSharedMemory first;
  ASSERT_EQ(first.Create("TslSm_Bytes", 4096), WEFT_CREATE_NEW);
  char* view = first.Lock();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view[0], 0);
  EXPECT_EQ(std::memcmp(view, view + 1, 4095), 0);  // a new segment is all zero
  first.Unlock();

  EXPECT_EQ(peer.Send("create TslSm_Bytes 4096"), "ok 2");  // WEFT_CREATE_OPENED
  EXPECT_EQ(peer.Send("write TslSm_Bytes 16 hello-from-peer"), "ok");
  view = first.Lock();
  ASSERT_NE(view, nullptr);
  EXPECT_STREQ(view + 16, "hello-from-peer");
  first.Unlock();

  EXPECT_EQ(first.Create("AnyOtherName", 10), WEFT_CREATE_HELD);
  EXPECT_EQ(first.Size(), 4096);
  WeftSharedMemory second;
  EXPECT_EQ(second.Create("TslSm_Bytes", 4096), WEFT_CREATE_OPENED);
  WeftSharedMemory opened;
  ASSERT_TRUE(opened.Open("TslSm_Bytes"));
  EXPECT_EQ(opened.Size(), 0);
  EXPECT_STREQ(opened.Lock() + 16, "hello-from-peer");
  opened.Unlock();
}

TEST(WeftSharedMemoryTest, OpenOfAMissingSegmentFailsSilently) {
  weft::LogNotice("marker");
  WeftSharedMemory segment;
  EXPECT_FALSE(segment.Open("TslSm_NoSuchSegment"));
  EXPECT_EQ(weft::LastLogMessage(), "marker");
  EXPECT_EQ(segment.Lock(), nullptr);
}

TEST(WeftSharedMemoryTest, NestedLocksKeepTheMutexUntilTheOutermostUnlock) {
  PeerProcess peer;
  ASSERT_TRUE(peer.Started());
  WeftSharedMemory segment;
  ASSERT_EQ(segment.Create("TslSm_Nest", 4096), WEFT_CREATE_NEW);
  ASSERT_NE(segment.Lock(), nullptr);
  ASSERT_NE(segment.Lock(), nullptr);
  segment.Unlock();
  EXPECT_EQ(peer.Send("trylock TslSm_Nest_mutex"), "timeout");
  segment.Unlock();
  EXPECT_EQ(peer.Send("trylock TslSm_Nest_mutex"), "ok");

  // A scoped level is given back however its scope is left, an exception included.
  try {
    const SegmentLock lock(segment);
    ASSERT_NE(lock.View(), nullptr);
    throw std::bad_alloc();
  } catch (const std::bad_alloc&) {
  }
  EXPECT_EQ(peer.Send("trylock TslSm_Nest_mutex"), "ok");

  // An unmatched Unlock leaves the count negative: Lock then always fails.
  segment.Unlock();
  EXPECT_EQ(segment.Lock(), nullptr);
}

TEST(WeftSharedMemoryTest, LockGivesUpAfter67msWhileAnotherProcessHoldsTheMutex) {
  PeerProcess peer;
  ASSERT_TRUE(peer.Started());
  WeftSharedMemory segment;
  ASSERT_EQ(segment.Create("TslSm_Held", 4096), WEFT_CREATE_NEW);
  ASSERT_EQ(peer.Send("hold TslSm_Held_mutex"), "ok");
  const ULONGLONG before = GetTickCount64();
  EXPECT_EQ(segment.Lock(), nullptr);
  EXPECT_GE(GetTickCount64() - before, 50u);  // it did wait, bounded by the 67 ms
  ASSERT_EQ(peer.Send("release TslSm_Held_mutex"), "ok");
  EXPECT_NE(segment.Lock(), nullptr);
  segment.Unlock();
}

TEST(WeftSharedMemoryTest, AMutexAbandonedByADeadPeerFailsOnceAndIsNotLockedOut) {
  WeftSharedMemory segment;
  ASSERT_EQ(segment.Create("TslSm_Abandon", 4096), WEFT_CREATE_NEW);
  {
    PeerProcess peer;
    ASSERT_TRUE(peer.Started());
    peer.Send("abandon TslSm_Abandon_mutex");
    EXPECT_EQ(peer.WaitForExit(), 3u);
  }
  EXPECT_EQ(segment.Lock(), nullptr);  // the holder died: the bytes may be half-written
  char* view = segment.Lock();         // ownership was given back: the next lock works
  EXPECT_NE(view, nullptr);
  if (view != nullptr) segment.Unlock();

  PeerProcess other;
  EXPECT_EQ(other.Send("trylock TslSm_Abandon_mutex"), "ok");
}

TEST(WeftSharedMemoryTest, CloseEmptiesTheObject) {
  WeftSharedMemory segment;
  ASSERT_EQ(segment.Create("TslSm_Close", 512), WEFT_CREATE_NEW);
  EXPECT_EQ(segment.Size(), 512);
  segment.Close();
  EXPECT_EQ(segment.Size(), 0);
  EXPECT_EQ(segment.Lock(), nullptr);
  segment.Close();
  // The last holder closed it: the next Create makes a fresh, zeroed segment.
  EXPECT_EQ(segment.Create("TslSm_Close", 512), WEFT_CREATE_NEW);
}

}  // namespace

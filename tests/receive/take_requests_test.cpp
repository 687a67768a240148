#include "receive/take_requests.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace tsl {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;
using std::chrono::seconds;

// A tick's ask is served by a take made after it; one nobody serves runs out; and closing (the
// receive thread stopping) lets every wait go at once, on both sides, until opened again.
TEST(TakeRequestsTest, AnAskIsServedByATakeAfterItOrRunsOutOrEndsAtClose) {
  TakeRequests takes;
  takes.Open();
  EXPECT_FALSE(takes.Unserved());

  std::thread server([&takes] {
    bool unserved = false;
    uint64_t asked = 0;
    while (!unserved) asked = takes.WaitForAsk(milliseconds(100), unserved);
    takes.Served(asked);
  });
  EXPECT_TRUE(takes.AskAndWait(microseconds(seconds(60))));
  server.join();
  EXPECT_FALSE(takes.Unserved());

  EXPECT_FALSE(takes.AskAndWait(microseconds(1000)));  // nobody serves it
  EXPECT_TRUE(takes.Unserved());
  bool unserved = false;
  const uint64_t asked = takes.WaitForAsk(milliseconds(0), unserved);
  EXPECT_TRUE(unserved);
  takes.Served(asked);
  takes.Served(asked - 1);  // an older pass's mark takes nothing back
  EXPECT_FALSE(takes.Unserved());

  std::thread closer([&takes] {
    while (!takes.Unserved()) std::this_thread::yield();
    takes.Close();
  });
  EXPECT_TRUE(takes.AskAndWait(microseconds(seconds(60))));  // not 60 s: the close ends it
  closer.join();
  EXPECT_TRUE(takes.AskAndWait(microseconds(seconds(60))));  // closed: at once
  EXPECT_EQ(takes.WaitForAsk(milliseconds(60'000), unserved), asked + 2);
  EXPECT_TRUE(unserved);
}

}  // namespace
}  // namespace tsl

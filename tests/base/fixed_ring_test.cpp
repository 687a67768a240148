#include "base/fixed_ring.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<int> OldestFirst(const base::FixedRing<int>& ring) {
  std::vector<int> out;
  for (size_t i = 0; i < ring.Size(); ++i) out.push_back(ring.Oldest(i));
  return out;
}

// Filling, wrapping (more than once) and a ring that keeps nothing, by how many were pushed.
TEST(FixedRingTest, KeepsTheLastCapacityValuesOldestFirst) {
  struct Case {
    size_t capacity;
    int pushed;  // 1, 2, ... pushed
    std::vector<int> held;
  };
  for (const Case& c :
       {Case{3, 0, {}}, Case{3, 2, {1, 2}}, Case{3, 3, {1, 2, 3}}, Case{3, 4, {2, 3, 4}},
        Case{3, 8, {6, 7, 8}}, Case{1, 5, {5}}, Case{0, 4, {}}}) {
    base::FixedRing<int> ring(c.capacity);
    for (int v = 1; v <= c.pushed; ++v) ring.Push(v);
    EXPECT_EQ(OldestFirst(ring), c.held) << c.capacity << " " << c.pushed;
    EXPECT_EQ(ring.Size(), c.held.size());
    EXPECT_EQ(ring.Capacity(), c.capacity);
    ring.Clear();
    ring.Push(9);
    EXPECT_EQ(OldestFirst(ring), c.capacity > 0 ? std::vector<int>{9} : std::vector<int>{});
  }
}

}  // namespace

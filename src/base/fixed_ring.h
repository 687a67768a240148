#pragma once

#include <cstddef>
#include <vector>

namespace base {

// The last `capacity` values pushed: each push past that replaces the oldest. Values() is the
// storage, in push order only until the ring is full: for uses that need no order (a
// percentile, a fit, a search); Oldest(i) walks them oldest first.
template <typename T>
class FixedRing {
 public:
  explicit FixedRing(size_t capacity) : capacity_(capacity) { values_.reserve(capacity); }

  // A ring of capacity 0 keeps nothing.
  void Push(const T& value) {
    if (capacity_ == 0) return;
    if (values_.size() < capacity_) {
      values_.push_back(value);
    } else {
      values_[next_] = value;
    }
    next_ = (next_ + 1) % capacity_;
  }

  // Forgets every value; the next push is the oldest.
  void Clear() {
    values_.clear();
    next_ = 0;
  }

  size_t Size() const { return values_.size(); }
  size_t Capacity() const { return capacity_; }
  bool Empty() const { return values_.empty(); }

  const std::vector<T>& Values() const { return values_; }
  std::vector<T>& Values() { return values_; }

  // The i-th oldest value held, i < Size().
  const T& Oldest(size_t i) const {
    const size_t start = values_.size() < capacity_ ? 0 : next_;
    return values_[(start + i) % values_.size()];
  }

 private:
  size_t capacity_;
  std::vector<T> values_;
  size_t next_ = 0;  // where the next push goes once full
};

}  // namespace base

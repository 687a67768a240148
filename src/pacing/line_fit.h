#pragma once

#include <cstddef>
#include <vector>

#include "base/fixed_ring.h"

namespace tsl {

// A least-squares line y = intercept + slope x through the most recent points, fitted twice: the
// second time without the points more than a tolerance off the first line, so that one late
// report or one late frame does not bend it. Callers give x and y relative to an origin of their
// own, so that the sums stay small enough for doubles to hold them exactly.
class LineFit {
 public:
  explicit LineFit(size_t capacity) : points_(capacity) {}

  void Clear() { points_.Clear(); }
  void Add(double x, double y);
  size_t Size() const { return points_.Size(); }
  // The x span of the points held.
  double Span() const;

  struct Line {
    double intercept = 0.0;
    double slope = 0.0;
    size_t used = 0;  // the points the second fit kept
  };
  // False with fewer than two distinct x, or when the second fit keeps fewer than half.
  bool Fit(double tolerance, Line& line) const;

 private:
  struct Point {
    double x;
    double y;
  };
  static bool FitPoints(const std::vector<Point>& points, Line& line);

  base::FixedRing<Point> points_;
};

}  // namespace tsl

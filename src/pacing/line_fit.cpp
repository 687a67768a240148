#include "pacing/line_fit.h"

#include <algorithm>
#include <cmath>

namespace tsl {

void LineFit::Add(double x, double y) { points_.Push({x, y}); }

double LineFit::Span() const {
  if (points_.Empty()) return 0.0;
  const std::vector<Point>& points = points_.Values();
  const auto [lo, hi] = std::minmax_element(
      points.begin(), points.end(), [](const Point& a, const Point& b) { return a.x < b.x; });
  return hi->x - lo->x;
}

bool LineFit::FitPoints(const std::vector<Point>& points, Line& line) {
  if (points.size() < 2) return false;
  // Centred sums: the slope of points far from their origin stays exact.
  double mean_x = 0.0;
  double mean_y = 0.0;
  for (const Point& p : points) {
    mean_x += p.x;
    mean_y += p.y;
  }
  mean_x /= static_cast<double>(points.size());
  mean_y /= static_cast<double>(points.size());
  double sxx = 0.0;
  double sxy = 0.0;
  for (const Point& p : points) {
    sxx += (p.x - mean_x) * (p.x - mean_x);
    sxy += (p.x - mean_x) * (p.y - mean_y);
  }
  if (!(sxx > 0.0)) return false;
  line.slope = sxy / sxx;
  line.intercept = mean_y - line.slope * mean_x;
  line.used = points.size();
  return true;
}

bool LineFit::Fit(double tolerance, Line& line) const {
  Line first;
  if (!FitPoints(points_.Values(), first)) return false;
  std::vector<Point> kept;
  kept.reserve(points_.Size());
  for (const Point& p : points_.Values()) {
    if (std::fabs(p.y - (first.intercept + first.slope * p.x)) <= tolerance) kept.push_back(p);
  }
  if (kept.size() * 2 < points_.Size()) return false;
  return FitPoints(kept, line);
}

}  // namespace tsl

#include "curvature.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace quorvane
{
namespace curvature
{
namespace
{

/// b - a as a double, taken in 64 bits so that no coordinates overflow.
double difference(int b, int a) { return static_cast<double>(std::int64_t{b} - a); }

}  // namespace

double turningCurvature(const cv::Point & a, const cv::Point & b, const cv::Point & c)
{
  // Every operation below is rounded on its own, in this order (the library is
  // built without floating-point contraction), so results are reproducible.
  const double dx1 = difference(b.x, a.x);
  const double dy1 = difference(b.y, a.y);
  const double dx2 = difference(c.x, b.x);
  const double dy2 = difference(c.y, b.y);
  const double l1 = std::sqrt(dx1 * dx1 + dy1 * dy1);
  const double l2 = std::sqrt(dx2 * dx2 + dy2 * dy2);
  // A repeated point has no turning angle.
  if (l2 == 0.0 || l1 == 0.0) {
    return 0.0;
  }
  // The cosine of the turning angle from the normalised legs, clamped into
  // acos's domain against rounding.
  double k = (dx1 / l1) * (dx2 / l2) + (dy1 / l1) * (dy2 / l2);
  if (!(k < 1.0)) {
    k = 1.0;
  } else {
    k = std::max(k, -1.0);
  }
  return std::acos(k) / std::min(l1, l2);
}

cv::Point sharpestVertex(const std::vector<cv::Point> & points)
{
  // Interior vertices only, in order; a strictly greater value is needed to
  // replace the best, so the first of equal vertices wins and a polyline
  // that never turns gives (0, 0).
  cv::Point result(0, 0);
  double best = 0.0;
  for (std::size_t i = 1; i + 1 < points.size(); ++i) {
    const double value = turningCurvature(points[i - 1], points[i], points[i + 1]);
    if (value > best) {
      best = value;
      result = points[i];
    }
  }
  return result;
}

}  // namespace curvature
}  // namespace quorvane

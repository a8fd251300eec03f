#include "CurvatureAnalyzer.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace
{

/// b - a as a double, taken in 64 bits so that no coordinates overflow.
double difference(int b, int a) { return static_cast<double>(std::int64_t{b} - a); }

}  // namespace

double CurvatureAnalyzer::curvature(const cv::Point & a, const cv::Point & b, const cv::Point & c)
{
  // Every operation below is rounded on its own, in this order (the library is
  // built without floating-point contraction), so results are reproducible.
  // 1. The legs a->b and b->c.
  const double dx1 = difference(b.x, a.x);
  const double dy1 = difference(b.y, a.y);
  const double dx2 = difference(c.x, b.x);
  const double dy2 = difference(c.y, b.y);
  // 2. Their lengths; 3. a repeated point has no turning angle.
  const double l1 = std::sqrt(dx1 * dx1 + dy1 * dy1);
  const double l2 = std::sqrt(dx2 * dx2 + dy2 * dy2);
  if (l2 == 0.0 || l1 == 0.0) {
    return 0.0;
  }
  // 4. Cosine of the turning angle from the normalised legs; 5. clamped into
  //    acos's domain against rounding.
  double k = (dx1 / l1) * (dx2 / l2) + (dy1 / l1) * (dy2 / l2);
  if (!(k < 1.0)) {
    k = 1.0;
  } else {
    k = std::max(k, -1.0);
  }
  // 6. Turning angle over 7. the shorter leg.
  return std::acos(k) / std::min(l1, l2);
}

cv::Point CurvatureAnalyzer::findMaxCurvaturePoint(const std::vector<cv::Point> & points)
{
  // 1. No vertex beats curvature 0: the result stays (0, 0).
  cv::Point result(0, 0);
  double best = 0.0;
  // 2. Interior vertices only, in order; a strictly greater value is needed
  //    to replace the best, so the first of equal vertices wins.
  for (std::size_t i = 1; i + 1 < points.size(); ++i) {
    const double value = curvature(points[i - 1], points[i], points[i + 1]);
    if (value > best) {
      best = value;
      result = points[i];
    }
  }
  return result;
}

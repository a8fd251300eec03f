// The turning-angle curvature spelled out operation by operation, as the
// oracle of the tests and the fuzz target: 64-bit leg differences, each
// product, quotient and sum rounded on its own, clamped into acos's domain.
#ifndef QUORVANE_NAV2_ALGO_CORE__SUPPORT__REFERENCE_CURVATURE_HPP_
#define QUORVANE_NAV2_ALGO_CORE__SUPPORT__REFERENCE_CURVATURE_HPP_

#include <algorithm>
#include <cmath>
#include <cstdint>

#include <opencv2/core.hpp>

namespace quorvane
{
namespace oracle
{

inline double referenceCurvature(const cv::Point & a, const cv::Point & b, const cv::Point & c)
{
  const double dx1 = double(std::int64_t{b.x} - a.x), dy1 = double(std::int64_t{b.y} - a.y);
  const double dx2 = double(std::int64_t{c.x} - b.x), dy2 = double(std::int64_t{c.y} - b.y);
  const double l1 = std::sqrt(dx1 * dx1 + dy1 * dy1), l2 = std::sqrt(dx2 * dx2 + dy2 * dy2);
  if (l2 == 0.0 || l1 == 0.0) {
    return 0.0;
  }
  double k = (dx1 / l1) * (dx2 / l2) + (dy1 / l1) * (dy2 / l2);
  k = !(k < 1.0) ? 1.0 : std::max(k, -1.0);
  return std::acos(k) / std::min(l1, l2);
}

}  // namespace oracle
}  // namespace quorvane

#endif  // QUORVANE_NAV2_ALGO_CORE__SUPPORT__REFERENCE_CURVATURE_HPP_

// The turning-angle curvature in closed form, for the tests and the fuzz
// target: the angle as atan2(|cross|, dot) of the legs, which keeps its
// precision near 0 and pi where acos of the normalised dot product does not,
// and the shorter leg from std::hypot.
#ifndef QUORVANE_NAV2_ALGO_CORE__SUPPORT__CLOSED_FORM_CURVATURE_HPP_
#define QUORVANE_NAV2_ALGO_CORE__SUPPORT__CLOSED_FORM_CURVATURE_HPP_

#include <algorithm>
#include <cmath>
#include <cstdint>

#include <opencv2/core.hpp>

namespace quorvane
{
namespace oracle
{

/// Room for a curvature times its shorter leg against turningAngle(): acos of
/// a cosine a few ulps off near +-1 is off by up to about 3e-8 radians.
constexpr double kTurningAngleTolerance = 1e-7;

/// The angle in [0, pi] between the legs a -> b and b -> c; 0 when a leg has
/// zero length. Leg differences are exact (64-bit, below 2^53).
inline double turningAngle(const cv::Point & a, const cv::Point & b, const cv::Point & c)
{
  const double dx1 = double(std::int64_t{b.x} - a.x), dy1 = double(std::int64_t{b.y} - a.y);
  const double dx2 = double(std::int64_t{c.x} - b.x), dy2 = double(std::int64_t{c.y} - b.y);
  return std::atan2(std::abs(dx1 * dy2 - dy1 * dx2), dx1 * dx2 + dy1 * dy2);
}

/// The length of the shorter of the legs a -> b and b -> c.
inline double shorterLeg(const cv::Point & a, const cv::Point & b, const cv::Point & c)
{
  const auto length = [](const cv::Point & p, const cv::Point & q) {
    return std::hypot(double(std::int64_t{q.x} - p.x), double(std::int64_t{q.y} - p.y));
  };
  return std::min(length(a, b), length(b, c));
}

}  // namespace oracle
}  // namespace quorvane

#endif  // QUORVANE_NAV2_ALGO_CORE__SUPPORT__CLOSED_FORM_CURVATURE_HPP_

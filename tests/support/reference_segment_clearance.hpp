// The coverage path's clearance rule in its plain form: every pixel in the
// segment's bounding box, the segment clipped to the pixel's closed square
// (Liang-Barsky), the farther clipped end against the pixel's slack. Slow on
// purpose; the planner's walk along the segment is checked against it.
#ifndef QUORVANE_NAV2_ALGO_CORE__SUPPORT__REFERENCE_SEGMENT_CLEARANCE_HPP_
#define QUORVANE_NAV2_ALGO_CORE__SUPPORT__REFERENCE_SEGMENT_CLEARANCE_HPP_

#include <algorithm>
#include <cmath>

#include <opencv2/core.hpp>

namespace quorvane
{
namespace oracle
{

// Clips the parameter range [t0, t1] of a + t * d to lo <= p + t * dp <= hi;
// false when nothing is left.
inline bool clipRange(double p, double dp, double lo, double hi, double & t0, double & t1)
{
  if (dp == 0.0) {
    return p >= lo && p <= hi;
  }
  double ta = (lo - p) / dp;
  double tb = (hi - p) / dp;
  if (ta > tb) {
    std::swap(ta, tb);
  }
  t0 = std::max(t0, ta);
  t1 = std::min(t1, tb);
  return t0 <= t1;
}

// True when every pixel whose closed square [c - 0.5, c + 0.5] x [r - 0.5,
// r + 0.5] meets the segment a-b keeps slack (CV_32FC1, -1 outside the
// image) at least the largest distance from its centre to the part of the
// segment in the square.
inline bool referenceSegmentClear(const cv::Mat & slack, cv::Point2d a, cv::Point2d b)
{
  const int c0 = static_cast<int>(std::floor(std::min(a.x, b.x))) - 1;
  const int c1 = static_cast<int>(std::ceil(std::max(a.x, b.x))) + 1;
  const int r0 = static_cast<int>(std::floor(std::min(a.y, b.y))) - 1;
  const int r1 = static_cast<int>(std::ceil(std::max(a.y, b.y))) + 1;
  for (int r = r0; r <= r1; ++r) {
    for (int c = c0; c <= c1; ++c) {
      double t0 = 0.0;
      double t1 = 1.0;
      if (
        !clipRange(a.x, b.x - a.x, c - 0.5, c + 0.5, t0, t1) ||
        !clipRange(a.y, b.y - a.y, r - 0.5, r + 0.5, t0, t1)) {
        continue;
      }
      const cv::Point2d centre(c, r);
      const double far =
        std::max(cv::norm(a + (b - a) * t0 - centre), cv::norm(a + (b - a) * t1 - centre));
      const bool inside = c >= 0 && r >= 0 && c < slack.cols && r < slack.rows;
      const double s = inside ? slack.at<float>(r, c) : -1.0;
      if (s < far) {
        return false;
      }
    }
  }
  return true;
}

}  // namespace oracle
}  // namespace quorvane

#endif  // QUORVANE_NAV2_ALGO_CORE__SUPPORT__REFERENCE_SEGMENT_CLEARANCE_HPP_

// Literal Douglas-Peucker of the simplification fuzz targets: recursion on
// copies of the two halves, exactly as the scheme is written, used as the
// oracle for the library's explicit-stack version (which must agree element
// for element, NaN and infinite coordinates included).
#ifndef QUORVANE_NAV2_ALGO_CORE__SIMPLIFY_ORACLE_HPP_
#define QUORVANE_NAV2_ALGO_CORE__SIMPLIFY_ORACLE_HPP_

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

namespace quorvane_fuzz
{

/// Distance of p from the closed segment a-b, operation by operation.
inline double literalSegmentDistance(
  const cv::Point2d & p, const cv::Point2d & a, const cv::Point2d & b)
{
  const double dx = b.x - a.x;
  const double dy = b.y - a.y;
  const double q = dx * dx + dy * dy;
  double ex = p.x - a.x;
  double ey = p.y - a.y;
  if (!(q == 0.0)) {
    const double t = (ey * dy + ex * dx) / q;
    if (t < 0.0) {
      // offset from a, as above
    } else if (t > 1.0) {
      ex = p.x - b.x;
      ey = p.y - b.y;
    } else {
      ex = p.x - (dx * t + a.x);
      ey = p.y - (t * dy + a.y);
    }
  }
  return std::sqrt(ex * ex + ey * ey);
}

/// Appends to @p out the indices (into @p xy) that the literal scheme keeps
/// of the span @p index. With @p withChordTest (polylines, whose coordinates
/// are integers) a chord no longer than @p minChord ends the span; path
/// messages have no chord test.
inline void literalKeep(
  const std::vector<cv::Point2d> & xy, const std::vector<size_t> & index, double epsilon,
  double minChord, bool withChordTest, std::vector<size_t> & out)
{
  const size_t n = index.size();
  if (n < 2) {
    out = index;
    return;
  }
  const cv::Point2d & f = xy[index.front()];
  const cv::Point2d & l = xy[index.back()];
  double chord = 0.0;
  if (withChordTest) {
    const int64_t cx = static_cast<int64_t>(f.x) - static_cast<int64_t>(l.x);
    const int64_t cy = static_cast<int64_t>(f.y) - static_cast<int64_t>(l.y);
    chord = std::hypot(std::fabs(static_cast<double>(cx)), std::fabs(static_cast<double>(cy)));
  }
  if (withChordTest && minChord >= chord) {
    out.push_back(index.front());
    out.push_back(index.back());
    return;
  }
  double g = 0.0;
  size_t k = 0;
  for (size_t i = 1; i + 1 < n; ++i) {
    const double d = literalSegmentDistance(xy[index[i]], f, l);
    if (d > g) {
      g = d;
      k = i;
    }
  }
  if (g > epsilon) {
    const std::vector<size_t> first(
      index.begin(), index.begin() + static_cast<std::ptrdiff_t>(k) + 1);
    const std::vector<size_t> second(index.begin() + static_cast<std::ptrdiff_t>(k), index.end());
    std::vector<size_t> r1;
    std::vector<size_t> r2;
    literalKeep(xy, first, epsilon, minChord, withChordTest, r1);
    literalKeep(xy, second, epsilon, minChord, withChordTest, r2);
    out.insert(out.end(), r1.begin(), r1.end());
    out.insert(out.end(), r2.begin() + 1, r2.end());
  } else {
    out.push_back(index.front());
    out.push_back(index.back());
  }
}

}  // namespace quorvane_fuzz

#endif  // QUORVANE_NAV2_ALGO_CORE__SIMPLIFY_ORACLE_HPP_

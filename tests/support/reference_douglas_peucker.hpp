// Douglas-Peucker in its compact reference implementation: a plain point-segment
// distance, the first strictly farthest interior point as the split, and a
// recursion that copies both halves of every span. Slow and deep on purpose;
// the fast index-range version is checked and measured against it.
#ifndef QUORVANE_NAV2_ALGO_CORE__SUPPORT__REFERENCE_DOUGLAS_PEUCKER_HPP_
#define QUORVANE_NAV2_ALGO_CORE__SUPPORT__REFERENCE_DOUGLAS_PEUCKER_HPP_

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include <opencv2/core.hpp>

#include "geometry_msgs/msg/pose_stamped.hpp"
#include "nav_msgs/msg/path.hpp"

namespace quorvane
{
namespace oracle
{

// Distance from p to the segment a-b: projection parameter t clamped by hand.
inline double referenceDistance(cv::Point2d p, cv::Point2d a, cv::Point2d b)
{
  const double dx = b.x - a.x, dy = b.y - a.y, q = dx * dx + dy * dy;
  double ex = p.x - a.x, ey = p.y - a.y;
  if (q != 0.0) {
    const double t = (ey * dy + ex * dx) / q;
    if (t > 1.0) {
      ex = p.x - b.x;
      ey = p.y - b.y;
    } else if (!(t < 0.0)) {
      ex = p.x - (dx * t + a.x);
      ey = p.y - (t * dy + a.y);
    }
  }
  return std::sqrt(ex * ex + ey * ey);
}

inline cv::Point2d xy(const cv::Point & p) { return {double(p.x), double(p.y)}; }
inline cv::Point2d xy(const geometry_msgs::msg::PoseStamped & p)
{
  return {p.pose.position.x, p.pose.position.y};
}

// Split index of a span by the strict first-wins rule, or 0 when undivided.
template <typename T>
int referenceSplit(const std::vector<T> & in, double epsilon)
{
  double g = 0.0;
  int k = 0;
  for (int i = 1; i + 1 < int(in.size()); ++i) {
    const double d = referenceDistance(xy(in[std::size_t(i)]), xy(in.front()), xy(in.back()));
    if (d > g) {
      g = d;
      k = i;
    }
  }
  return g > epsilon ? k : 0;
}

// A span whose chord is at most minChord is kept as its two ends. The chord is
// differenced in 64 bits so that far-apart int coordinates cannot overflow.
inline void referencePolyline(
  const std::vector<cv::Point> & in, double eps, double minChord, std::vector<cv::Point> & out)
{
  if (in.size() < 2) {
    out = in;
    return;
  }
  const cv::Point f = in.front(), l = in.back();
  const double c = std::hypot(
    std::fabs(double(std::int64_t{f.x} - l.x)), std::fabs(double(std::int64_t{f.y} - l.y)));
  const int k = minChord >= c ? 0 : referenceSplit(in, eps);
  if (k == 0) {
    out.push_back(f);
    out.push_back(l);
    return;
  }
  std::vector<cv::Point> first(in.begin(), in.begin() + k + 1), second(in.begin() + k, in.end()),
    r1, r2;
  referencePolyline(first, eps, minChord, r1);
  referencePolyline(second, eps, minChord, r2);
  out.insert(out.end(), r1.begin(), r1.end());
  out.insert(out.end(), r2.begin() + 1, r2.end());
}

// The same scheme without copies or recursion, for inputs too long or too deep
// for the literal version: spans on an explicit stack, each scanned point by
// point with referenceDistance(). Returns the kept indices of two or more
// points; a NaN minChord never ends a span (as for paths).
template <typename T>
std::vector<std::size_t> plainKeptIndices(const std::vector<T> & in, double eps, double minChord)
{
  std::vector<std::size_t> kept{0};
  std::vector<std::pair<std::size_t, std::size_t>> stack{{0, in.size() - 1}};
  while (!stack.empty()) {
    const auto [f, l] = stack.back();
    stack.pop_back();
    const cv::Point2d a = xy(in[f]), b = xy(in[l]);
    double g = 0.0;
    std::size_t k = f;
    if (!(minChord >= std::hypot(std::fabs(a.x - b.x), std::fabs(a.y - b.y)))) {
      for (std::size_t i = f + 1; i < l; ++i) {
        const double d = referenceDistance(xy(in[i]), a, b);
        if (d > g) {
          g = d;
          k = i;
        }
      }
    }
    if (g > eps) {
      stack.push_back({k, l});
      stack.push_back({f, k});
    } else {
      kept.push_back(l);
    }
  }
  return kept;
}

inline void referencePath(const nav_msgs::msg::Path & in, double eps, nav_msgs::msg::Path & out)
{
  if (in.poses.size() < 2) {
    out = in;
    return;
  }
  const int k = referenceSplit(in.poses, eps);
  if (k == 0) {
    out.poses.push_back(in.poses.front());
    out.poses.push_back(in.poses.back());
    return;
  }
  nav_msgs::msg::Path first, second, r1, r2;
  first.poses.assign(in.poses.begin(), in.poses.begin() + k + 1);
  second.poses.assign(in.poses.begin() + k, in.poses.end());
  referencePath(first, eps, r1);
  referencePath(second, eps, r2);
  out.poses.insert(out.poses.end(), r1.poses.begin(), r1.poses.end());
  out.poses.insert(out.poses.end(), r2.poses.begin() + 1, r2.poses.end());
}

}  // namespace oracle
}  // namespace quorvane

#endif  // QUORVANE_NAV2_ALGO_CORE__SUPPORT__REFERENCE_DOUGLAS_PEUCKER_HPP_

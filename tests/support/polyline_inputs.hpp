// Generated polylines the benchmarks share.
#ifndef QUORVANE_NAV2_ALGO_CORE__SUPPORT__POLYLINE_INPUTS_HPP_
#define QUORVANE_NAV2_ALGO_CORE__SUPPORT__POLYLINE_INPUTS_HPP_

#include <cmath>
#include <cstddef>
#include <random>
#include <vector>

#include <opencv2/core.hpp>

namespace quorvane
{
namespace test
{

/// A random walk of steps of about two pixels with a slowly turning heading
/// plus pixel noise (seed 42): a typical traced path, not a worst case.
inline std::vector<cv::Point> noisyRandomWalk(std::size_t n)
{
  std::mt19937 rng(42);
  std::normal_distribution<double> turn(0.0, 0.05), noise(0.0, 1.0);
  std::vector<cv::Point> points;
  points.reserve(n);
  double x = 0.0, y = 0.0, heading = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    heading += turn(rng);
    x += 2.0 * std::cos(heading);
    y += 2.0 * std::sin(heading);
    points.emplace_back(
      static_cast<int>(std::lround(x + noise(rng))), static_cast<int>(std::lround(y + noise(rng))));
  }
  return points;
}

}  // namespace test
}  // namespace quorvane

#endif  // QUORVANE_NAV2_ALGO_CORE__SUPPORT__POLYLINE_INPUTS_HPP_

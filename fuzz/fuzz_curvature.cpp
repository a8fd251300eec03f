// Fuzz target: CurvatureAnalyzer::curvature and findMaxCurvaturePoint on
// arbitrary points, INT_MIN and INT_MAX included.
//
// Input layout: coordinate mode, then points until the input ends (at most
// 4096): per point x and y (pickInt), or a start (pickInt) and byte steps.
//
// Checked against a literal evaluation with 64-bit leg differences, bit for
// bit (so every curvature lies in [0, pi / shorter leg]), finite; the sharpest
// vertex is the first interior vertex of the greatest positive curvature, or
// (0, 0).
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "CurvatureAnalyzer.hpp"
#include "fuzz_input.hpp"

namespace
{

using quorvane_fuzz::ByteReader;

constexpr size_t kMaxPoints = 4096;

double literalCurvature(const cv::Point & a, const cv::Point & b, const cv::Point & c)
{
  const double dx1 = static_cast<double>(static_cast<int64_t>(b.x) - a.x);
  const double dy1 = static_cast<double>(static_cast<int64_t>(b.y) - a.y);
  const double dx2 = static_cast<double>(static_cast<int64_t>(c.x) - b.x);
  const double dy2 = static_cast<double>(static_cast<int64_t>(c.y) - b.y);
  const double l1 = std::sqrt(dx1 * dx1 + dy1 * dy1);
  const double l2 = std::sqrt(dx2 * dx2 + dy2 * dy2);
  if (l2 == 0.0 || l1 == 0.0) {
    return 0.0;
  }
  double k = (dx1 / l1) * (dx2 / l2) + (dy1 / l1) * (dy2 / l2);
  if (!(k < 1.0)) {
    k = 1.0;
  } else {
    k = std::max(k, -1.0);
  }
  return std::acos(k) / std::min(l1, l2);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t * data, size_t size)
{
  ByteReader in(data, size);
  const bool steps = (in.u8() & 1U) != 0;
  std::vector<cv::Point> pts;
  int64_t x = steps ? quorvane_fuzz::pickInt(in) : 0;
  int64_t y = steps ? quorvane_fuzz::pickInt(in) : 0;
  while (in.remaining() > 0 && pts.size() < kMaxPoints) {
    if (steps) {
      x = std::clamp<int64_t>(x + static_cast<int8_t>(in.u8()), INT_MIN, INT_MAX);
      y = std::clamp<int64_t>(y + static_cast<int8_t>(in.u8()), INT_MIN, INT_MAX);
    } else {
      x = quorvane_fuzz::pickInt(in);
      y = quorvane_fuzz::pickInt(in);
    }
    pts.emplace_back(static_cast<int>(x), static_cast<int>(y));
  }

  CurvatureAnalyzer ca;
  cv::Point best(0, 0);
  double bestValue = 0.0;
  for (size_t i = 1; i + 1 < pts.size(); ++i) {
    const double v = ca.curvature(pts[i - 1], pts[i], pts[i + 1]);
    const double literal = literalCurvature(pts[i - 1], pts[i], pts[i + 1]);
    FUZZ_CHECK(quorvane_fuzz::sameBits(v, literal));
    FUZZ_CHECK(std::isfinite(v) && v >= 0.0);
    if (v > bestValue) {
      bestValue = v;
      best = pts[i];
    }
  }
  FUZZ_CHECK(ca.findMaxCurvaturePoint(pts) == best);
  return 0;
}

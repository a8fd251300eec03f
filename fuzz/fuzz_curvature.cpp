// Fuzz target: CurvatureAnalyzer::curvature and findMaxCurvaturePoint on
// arbitrary points, INT_MIN and INT_MAX included.
//
// Input layout: coordinate mode, then points until the input ends (at most
// 4096): per point x and y (pickInt), or a start (pickInt) and byte steps.
//
// Checked against the closed form: each curvature is finite, 0 when a leg has
// zero length, and otherwise times the shorter leg the atan2 angle between the
// legs within a small tolerance; the sharpest vertex is the first interior
// vertex of the greatest positive curvature, or (0, 0).
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "CurvatureAnalyzer.hpp"
#include "closed_form_curvature.hpp"
#include "fuzz_input.hpp"

namespace
{

using quorvane_fuzz::ByteReader;

constexpr size_t kMaxPoints = 4096;

using quorvane::oracle::kTurningAngleTolerance;
using quorvane::oracle::shorterLeg;
using quorvane::oracle::turningAngle;

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
    const double leg = shorterLeg(pts[i - 1], pts[i], pts[i + 1]);
    FUZZ_CHECK(std::isfinite(v) && v >= 0.0);
    FUZZ_CHECK(
      leg == 0.0 ? v == 0.0
                 : std::abs(v * leg - turningAngle(pts[i - 1], pts[i], pts[i + 1])) <=
                     kTurningAngleTolerance);
    if (v > bestValue) {
      bestValue = v;
      best = pts[i];
    }
  }
  FUZZ_CHECK(ca.findMaxCurvaturePoint(pts) == best);
  return 0;
}

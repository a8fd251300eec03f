// Fuzz target: SimplifyPath::douglasPeucker on pixel polylines with arbitrary
// coordinates (INT_MIN .. INT_MAX), tolerances and chord lengths (NaN,
// infinities, negative, huge), appending to a stale output or working in
// place (input and output the same vector).
//
// Input layout: epsilon (pickDouble), minChordLength (pickDouble), aliasing
// flag, number of stale output points, shape mode, then the shape's data.
//
// Checked: a negative epsilon throws cv::Exception (StsOutOfRange) with the
// output untouched; otherwise the output is the stale content followed by
// exactly what the literal recursive scheme keeps (or, below two points, a
// copy of the input).
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "SimplifyPath.hpp"
#include "fuzz_input.hpp"
#include "reference_douglas_peucker.hpp"

namespace
{

using quorvane_fuzz::ByteReader;

constexpr size_t kMaxGenerated = 3000;

int32_t saturate(int64_t v)
{
  return static_cast<int32_t>(v < INT_MIN ? INT_MIN : (v > INT_MAX ? INT_MAX : v));
}

std::vector<cv::Point> makePolyline(ByteReader & in)
{
  std::vector<cv::Point> pts;
  const uint8_t mode = in.u8() % 3;
  if (mode == 0) {  // raw points, as many as the input holds
    const size_t n = in.u8();
    for (size_t i = 0; i < n && in.remaining() > 0; ++i) {
      const int x = quorvane_fuzz::pickInt(in);
      const int y = quorvane_fuzz::pickInt(in);
      pts.emplace_back(x, y);
    }
  } else if (mode == 1) {  // a walk of byte steps from an arbitrary start
    int64_t x = quorvane_fuzz::pickInt(in);
    int64_t y = quorvane_fuzz::pickInt(in);
    const int shift = (in.u8() % 4) * 9;  // steps of up to 127 << shift
    while (in.remaining() >= 2 && pts.size() < kMaxGenerated) {
      pts.emplace_back(saturate(x), saturate(y));
      x += static_cast<int64_t>(static_cast<int8_t>(in.u8())) * (int64_t{1} << shift);
      y += static_cast<int64_t>(static_cast<int8_t>(in.u8())) * (int64_t{1} << shift);
    }
  } else {  // long generated shapes: spiral (worst case), zigzag, circle
    const size_t n = in.u16() % kMaxGenerated;
    const uint8_t shape = in.u8() % 3;
    const int64_t offset = quorvane_fuzz::pickInt(in);
    for (size_t i = 0; i < n; ++i) {
      const double t = static_cast<double>(i);
      double x = 0.0;
      double y = 0.0;
      if (shape == 0) {
        x = (10.0 + t) * std::cos(t * 0.05);
        y = (10.0 + t) * std::sin(t * 0.05);
      } else if (shape == 1) {
        x = t;
        y = (i % 2 == 0) ? 0.0 : 3.0;
      } else {
        x = 500.0 * std::cos(t * 0.01);
        y = 500.0 * std::sin(t * 0.01);
      }
      pts.emplace_back(
        saturate(offset + static_cast<int64_t>(x)), saturate(offset + static_cast<int64_t>(y)));
    }
  }
  return pts;
}

std::vector<cv::Point> expected(
  const std::vector<cv::Point> & input, double epsilon, double minChord,
  std::vector<cv::Point> stale)
{
  if (input.size() < 2) {
    return input;
  }
  std::vector<cv::Point> kept;
  quorvane::oracle::referencePolyline(input, epsilon, minChord, kept);
  stale.insert(stale.end(), kept.begin(), kept.end());
  return stale;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t * data, size_t size)
{
  ByteReader in(data, size);
  const double epsilon = quorvane_fuzz::pickDouble(in);
  const double minChord = quorvane_fuzz::pickDouble(in);
  const bool aliased = (in.u8() & 1U) != 0;
  std::vector<cv::Point> stale(in.u8() % 4, cv::Point(-5, 17));
  const std::vector<cv::Point> input = makePolyline(in);

  SimplifyPath sp;
  std::vector<cv::Point> io = aliased ? input : stale;
  const std::vector<cv::Point> before = io;
  try {
    if (aliased) {
      sp.douglasPeucker(io, epsilon, minChord, io);
    } else {
      sp.douglasPeucker(input, epsilon, minChord, io);
    }
  } catch (const cv::Exception & e) {
    FUZZ_CHECK(epsilon < 0.0);
    FUZZ_CHECK(e.code == cv::Error::StsOutOfRange);
    FUZZ_CHECK(io == before);
    return 0;
  }
  FUZZ_CHECK(!(epsilon < 0.0));
  FUZZ_CHECK(io == expected(input, epsilon, minChord, aliased ? input : stale));
  return 0;
}

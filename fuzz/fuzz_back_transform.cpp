// Fuzz target: Rotator::transformPathBackToOriginalRotation with arbitrary
// matrices (any size up to 4 x 4, any depth and channel count, NaN and
// infinite entries, singular, continuous or views) and arbitrary points.
//
// Input layout: matrix shape tag, rows, cols, type tag, view flag, the
// entries (pickDouble each), the number of input points and their raw float
// coordinates, the number of stale output points, an aliasing flag.
//
// Checked: on cv::Exception the output is empty; without one it holds one
// point per input point (none for an empty input); a matrix that is not a
// 2 x 3 of 32- or 64-bit floats never passes silently with a non-empty
// input; the input and the matrix are never written; with one vector as
// input and output the result is the same as with two.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include <opencv2/core.hpp>

#include "Rotator.hpp"
#include "fuzz_input.hpp"

namespace
{

using quorvane_fuzz::ByteReader;

/// Narrows to float, values beyond its range becoming infinities.
float toFloat(double v)
{
  if (std::isfinite(v) && std::fabs(v) > static_cast<double>(FLT_MAX)) {
    return v > 0 ? std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::infinity();
  }
  return static_cast<float>(v);
}

/// Rounds to the nearest T, NaN becoming 0 and values beyond T's range its
/// ends. cv::saturate_cast<short>(double) overflows an int on the way for
/// values near INT_MAX, which the sanitizers rightly report.
template <typename T>
T toInteger(double v)
{
  if (std::isnan(v)) {
    return T{0};
  }
  const double lo = static_cast<double>(std::numeric_limits<T>::min());
  const double hi = static_cast<double>(std::numeric_limits<T>::max());
  return static_cast<T>(std::nearbyint(std::min(std::max(v, lo), hi)));
}

cv::Mat makeMatrix(ByteReader & in, cv::Mat & storage)
{
  static const int kTypes[] = {CV_64FC1, CV_32FC1, CV_8UC1,  CV_16SC1,
                               CV_32SC1, CV_64FC2, CV_32FC2, CV_64FC3};
  const uint8_t shape = in.u8();
  int rows = 2;
  int cols = 3;
  if (shape >= 160) {  // any other shape, empty ones included
    rows = in.u8() % 5;
    cols = in.u8() % 5;
  }
  const uint8_t typeTag = in.u8();
  const int type = typeTag < 128 ? CV_64FC1 : kTypes[typeTag % 8];
  const bool asView = (in.u8() & 1U) != 0;
  storage = cv::Mat(rows + (asView ? 2 : 0), cols + (asView ? 3 : 0), type, cv::Scalar::all(0));
  cv::Mat m = asView ? storage(cv::Rect(1, 1, cols, rows)) : storage;
  const int channels = m.channels();
  for (int r = 0; r < m.rows; ++r) {
    for (int c = 0; c < m.cols * channels; ++c) {
      const double v = quorvane_fuzz::pickDouble(in);
      switch (m.depth()) {
        case CV_64F:
          m.ptr<double>(r)[c] = v;
          break;
        case CV_32F:
          m.ptr<float>(r)[c] = toFloat(v);
          break;
        case CV_8U:
          m.ptr<uchar>(r)[c] = toInteger<uchar>(v);
          break;
        case CV_16S:
          m.ptr<int16_t>(r)[c] = toInteger<int16_t>(v);
          break;
        default:
          m.ptr<int32_t>(r)[c] = toInteger<int32_t>(v);
          break;
      }
    }
  }
  return m;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t * data, size_t size)
{
  ByteReader in(data, size);
  cv::Mat storage;
  const cv::Mat matrix = makeMatrix(in, storage);
  const cv::Mat matrixBefore = matrix.clone();

  std::vector<cv::Point2f> input(in.u8() % 17);
  for (cv::Point2f & p : input) {
    p = cv::Point2f(in.f32(), in.f32());
  }
  const std::vector<cv::Point2f> inputBefore = input;
  std::vector<cv::Point2f> output(in.u8() % 4, cv::Point2f(3.0F, 4.0F));

  const bool wellFormed = matrix.rows == 2 && matrix.cols == 3 &&
                          (matrix.type() == CV_64FC1 || matrix.type() == CV_32FC1);
  const bool aliased = (in.u8() & 1U) != 0;
  Rotator rotator;
  try {
    rotator.transformPathBackToOriginalRotation(input, output, matrix);
  } catch (const cv::Exception &) {
    FUZZ_CHECK(output.empty());
    FUZZ_CHECK(quorvane_fuzz::samePoints(input, inputBefore));
    FUZZ_CHECK(quorvane_fuzz::sameMat(matrix, matrixBefore));
    if (aliased) {  // the same call with one vector throws too, leaving it empty
      std::vector<cv::Point2f> io = input;
      bool threw = false;
      try {
        rotator.transformPathBackToOriginalRotation(io, io, matrix);
      } catch (const cv::Exception &) {
        threw = true;
      }
      FUZZ_CHECK(threw && io.empty());
    }
    return 0;
  }
  FUZZ_CHECK(output.size() == input.size());
  FUZZ_CHECK(wellFormed || input.empty());
  FUZZ_CHECK(quorvane_fuzz::samePoints(input, inputBefore));
  FUZZ_CHECK(quorvane_fuzz::sameMat(matrix, matrixBefore));

  // The same call with one vector as input and output gives the same points.
  if (aliased) {
    std::vector<cv::Point2f> io = input;
    rotator.transformPathBackToOriginalRotation(io, io, matrix);
    FUZZ_CHECK(quorvane_fuzz::samePoints(io, output));
  }
  return 0;
}

// Fuzz target: get_special_points::SkeletonGetJunctionPt on arbitrary small
// images of any type, continuous or cut out of a larger buffer.
//
// Input layout: rows (u8 % 65), cols (u8 % 65), type tag, view flags, margin
// value, margin left, margin top, then the pixels (see fillImage).
//
// Checked: a non-CV_8UC1 image throws cv::Exception with `junctions` empty; a
// CV_8UC1 image returns 0 with exactly two points, equal to a literal oracle
// (the twelve junction shapes, pixels outside the view clear, brute-force
// farthest pair with the first pair in (i, j) order winning) when there are
// few enough junction pixels, and always equal to the answer on a continuous
// copy of a view.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "fuzz_input.hpp"
#include "get_special_points.hpp"
#include "reference_junctions.hpp"

namespace
{

using quorvane_fuzz::ByteReader;

/// Junction pixels in raster order, shape by shape.
std::vector<cv::Point> referenceJunctions(const cv::Mat & image)
{
  std::vector<cv::Point> found;
  for (int y = 0; y < image.rows; ++y) {
    for (int x = 0; x < image.cols; ++x) {
      if (image.at<uchar>(y, x) != 0 && quorvane::oracle::isReferenceJunction(image, x, y)) {
        found.emplace_back(x, y);
      }
    }
  }
  return found;
}

constexpr size_t kOracleLimit = 600;  // keeps the quadratic oracle cheap

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t * data, size_t size)
{
  ByteReader in(data, size);
  const quorvane_fuzz::FuzzedImage fuzzed = quorvane_fuzz::readImage(in);
  cv::Mat image = fuzzed.image;
  const int type = fuzzed.type;
  const bool asView = fuzzed.asView;
  const cv::Mat before = image.clone();

  get_special_points gsp;
  std::vector<cv::Point> junctions(3, cv::Point(7, 7));  // stale content to be discarded
  if (type != CV_8UC1) {
    bool threw = false;
    try {
      gsp.SkeletonGetJunctionPt(image, junctions);
    } catch (const cv::Exception &) {
      threw = true;
    }
    FUZZ_CHECK(threw);
    FUZZ_CHECK(junctions.empty());
    FUZZ_CHECK(quorvane_fuzz::sameMat(image, before));
    FUZZ_CHECK(gsp.mask.empty());
    return 0;
  }

  FUZZ_CHECK(gsp.SkeletonGetJunctionPt(image, junctions) == 0);
  FUZZ_CHECK(junctions.size() == 2);
  FUZZ_CHECK(quorvane_fuzz::sameMat(image, before));
  FUZZ_CHECK(gsp.mask.empty());

  const std::vector<cv::Point> literal = referenceJunctions(image);
  if (literal.size() <= kOracleLimit) {
    const auto pair = quorvane::oracle::bruteForceFarthestPair(literal);
    FUZZ_CHECK(junctions == std::vector<cv::Point>(pair.begin(), pair.end()));
  } else {
    // Too many for the quadratic oracle: both points are junction pixels, in
    // raster order, and a continuous copy gives the same pair.
    for (const cv::Point & p : junctions) {
      FUZZ_CHECK(std::binary_search(
        literal.begin(), literal.end(), p, [](const cv::Point & a, const cv::Point & b) {
          return a.y != b.y ? a.y < b.y : a.x < b.x;
        }));
    }
    FUZZ_CHECK(
      junctions[0].y < junctions[1].y ||
      (junctions[0].y == junctions[1].y && junctions[0].x < junctions[1].x));
  }
  if (asView) {
    std::vector<cv::Point> fromCopy;
    gsp.SkeletonGetJunctionPt(image.clone(), fromCopy);
    FUZZ_CHECK(fromCopy == junctions);
  }
  return 0;
}

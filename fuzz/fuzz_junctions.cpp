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

namespace
{

using quorvane_fuzz::ByteReader;

// Arms of the twelve junction shapes, as (dx, dy) offsets (y down).
struct Arm
{
  int dx;
  int dy;
};
constexpr Arm kN{0, -1}, kNE{1, -1}, kE{1, 0}, kSE{1, 1}, kS{0, 1}, kSW{-1, 1}, kW{-1, 0},
  kNW{-1, -1};
constexpr Arm kShapes[12][3] = {{kNW, kNE, kS},  {kN, kE, kSW},   {kNE, kW, kSE},  {kNW, kE, kS},
                                {kN, kSW, kSE},  {kNE, kW, kS},   {kNW, kE, kSW},  {kN, kW, kSE},
                                {kNW, kSW, kSE}, {kNW, kNE, kSW}, {kNW, kNE, kSE}, {kNE, kSW, kSE}};

bool isSet(const cv::Mat & image, int x, int y)
{
  return x >= 0 && y >= 0 && x < image.cols && y < image.rows && image.at<uchar>(y, x) != 0;
}

/// Junction pixels in raster order, by the literal rule.
std::vector<cv::Point> literalJunctions(const cv::Mat & image)
{
  std::vector<cv::Point> found;
  for (int y = 0; y < image.rows; ++y) {
    for (int x = 0; x < image.cols; ++x) {
      if (!isSet(image, x, y)) {
        continue;
      }
      for (const auto & shape : kShapes) {
        bool all = true;
        for (const Arm & arm : shape) {
          all = all && isSet(image, x + arm.dx, y + arm.dy);
        }
        if (all) {
          found.emplace_back(x, y);
          break;
        }
      }
    }
  }
  return found;
}

/// Brute-force farthest pair, exact squared distances, first (i, j) wins.
std::vector<cv::Point> literalFarthestPair(const std::vector<cv::Point> & pts)
{
  cv::Point p1(0, 0), p2(0, 0);
  int64_t best = 0;
  for (size_t i = 0; i + 1 < pts.size(); ++i) {
    for (size_t j = i + 1; j < pts.size(); ++j) {
      const int64_t dx = pts[i].x - pts[j].x;
      const int64_t dy = pts[i].y - pts[j].y;
      const int64_t d2 = dx * dx + dy * dy;
      if (d2 > best) {
        best = d2;
        p1 = pts[i];
        p2 = pts[j];
      }
    }
  }
  return {p1, p2};
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

  const std::vector<cv::Point> literal = literalJunctions(image);
  if (literal.size() <= kOracleLimit) {
    FUZZ_CHECK(junctions == literalFarthestPair(literal));
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

// Maps wider or taller than 32767 pixels, beyond what OpenCV's probabilistic
// Hough transform and affine warp take at once: every operation that aligns a
// map gives the answer worked out by hand. The tiled paths, forced on maps
// that fit, against the whole-image ones.
#include <gtest/gtest.h>

#include <cstddef>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "Rotator.hpp"
#include "direction.hpp"
#include "get_special_points.hpp"
#include "rotation.hpp"
#include "sample_floor_plan.hpp"

namespace
{

using quorvane::direction::evenTiles;

constexpr double kPi = 3.141592653589793;

cv::Mat filled(cv::Size size, const std::vector<cv::Rect> & rects)
{
  cv::Mat image = cv::Mat::zeros(size, CV_8UC1);
  for (const cv::Rect & r : rects) {
    image(r).setTo(255);
  }
  return image;
}

// ------------------------------------------------------------ large maps

/// A free band 32990 pixels long and 20 wide in a map 33000 x 40 (or its
/// transpose), with everything the aligning operations give for it.
///
/// Wide: pixel box (5, 10)-(32994, 29), pivot (16499, 19), main direction 0,
/// window (-1, -1) 33001 x 41, so the warp is a shift by (1.5, 1.5): an output
/// pixel averages a 2 x 2 block and stays 255 when two of the four are free.
/// Tall: pivot (19, 16499), main direction pi / 2; the 90 degree turn gives
/// x' = y + 1.5, y' = 39.5 - x, the same band one row higher.
/// Inner rectangle with cells of 5: the turned band eroded by 2, cell centres
/// from (8, minY + 2) every 5 pixels strictly inside the box, all passing.
struct LargeMapCase
{
  const char * name;
  cv::Size size;
  cv::Rect band;
  double direction;
  cv::Rect bounds;
  std::vector<cv::Rect> turned;      ///< the rotated map's 255 pixels
  std::vector<cv::Point2f> outline;  ///< getInnerRect's, in the map's frame
};

const LargeMapCase kLargeMaps[] = {
  {"Wide",
   {33000, 40},
   {5, 10, 32990, 20},
   0.0,
   {-1, -1, 33001, 41},
   {{7, 11, 32989, 21}, {6, 12, 32991, 19}},
   {{6.5F, 11.5F}, {32991.5F, 11.5F}, {32991.5F, 26.5F}, {6.5F, 26.5F}, {6.5F, 11.5F}}},
  {"Tall",
   {40, 33000},
   {10, 5, 20, 32990},
   kPi / 2,
   {-16481, 16479, 33001, 41},
   {{7, 10, 32989, 21}, {6, 11, 32991, 19}},
   {{27.5F, 6.5F}, {27.5F, 32991.5F}, {12.5F, 32991.5F}, {12.5F, 6.5F}, {27.5F, 6.5F}}},
};

void PrintTo(const LargeMapCase & c, std::ostream * os) { *os << c.name << " " << c.size; }

class LargeMap : public ::testing::TestWithParam<LargeMapCase>
{
};

TEST_P(LargeMap, AlignsLikeItsHandWorkedAnswer)
{
  const LargeMapCase & c = GetParam();
  const cv::Mat map = filled(c.size, {c.band});
  Rotator rotator;
  EXPECT_NEAR(rotator.computeImageMainDirection(map), c.direction, 1e-12);

  cv::Mat matrix;
  cv::Rect bounds;
  EXPECT_NEAR(
    rotator.computeImageRotationMatrix(map, matrix, bounds, nullptr, 0.0), c.direction, 1e-12);
  EXPECT_EQ(bounds, c.bounds);

  cv::Mat turned;
  rotator.rotateImage(map, turned, matrix, bounds);
  const cv::Mat expected = filled(bounds.size(), c.turned);
  ASSERT_EQ(turned.size(), expected.size());
  EXPECT_EQ(cv::countNonZero(turned != expected), 0);

  std::vector<cv::Point2f> outline;
  get_special_points().getInnerRect(map, outline, 5.0);
  ASSERT_EQ(outline.size(), c.outline.size());
  for (std::size_t i = 0; i < outline.size(); ++i) {
    EXPECT_NEAR(outline[i].x, c.outline[i].x, 1e-3) << i;
    EXPECT_NEAR(outline[i].y, c.outline[i].y, 1e-3) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
  Maps, LargeMap, ::testing::ValuesIn(kLargeMaps),
  [](const ::testing::TestParamInfo<LargeMapCase> & row) { return std::string(row.param.name); });

TEST(LargeMapWarp, TurnedWindowAtTheFarEndMatchesOpenCvOnACrop)
{
  // A window turned by 30 degrees over the last columns of a 33000 x 40 map
  // of random grey: OpenCV's warp of a crop, its inverse matrix shifted by
  // the crop's whole-pixel offset, reads the same positions.
  cv::Mat map(40, 33000, CV_8UC1);
  cv::randu(map, 0, 256);
  cv::Mat toMap = cv::getRotationMatrix2D(cv::Point2f(100, 100), 30.0, 1.0);
  toMap.at<double>(0, 2) += 32850.0;
  toMap.at<double>(1, 2) -= 80.0;
  cv::Mat toWindow;
  cv::invertAffineTransform(toMap, toWindow);
  cv::Mat warped;
  quorvane::rotation::warpBilinear(map, toWindow, {200, 200}, warped);

  constexpr int kCropX = 32600;
  cv::Mat toCrop = toMap.clone();
  toCrop.at<double>(0, 2) -= kCropX;
  cv::Mat expected;
  cv::warpAffine(
    map.colRange(kCropX, map.cols), expected, toCrop, {200, 200},
    cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_CONSTANT, cv::Scalar());
  EXPECT_GT(cv::countNonZero(expected), 1000);
  EXPECT_EQ(cv::countNonZero(warped != expected), 0);
}

// ------------------------------------------------------------ tiles

struct TilesCase
{
  cv::Size size;
  int maxSide;
  std::vector<int> widths;   ///< of the tiles of one row
  std::vector<int> heights;  ///< of the tiles of one column
};

TEST(EvenTiles, SplitEachSideIntoTheFewestEvenParts)
{
  const TilesCase cases[] = {
    {{33000, 40}, 32767, {16500, 16500}, {40}},      {{40, 40000}, 32767, {40}, {20000, 20000}},
    {{65535, 7}, 32767, {21845, 21845, 21845}, {7}}, {{32767, 32767}, 32767, {32767}, {32767}},
    {{10, 7}, 3, {2, 3, 2, 3}, {2, 2, 3}},           {{0, 7}, 3, {}, {}},
  };
  for (const TilesCase & c : cases) {
    SCOPED_TRACE(::testing::Message() << c.size << " by " << c.maxSide);
    const std::vector<cv::Rect> tiles = evenTiles(c.size, c.maxSide);
    ASSERT_EQ(tiles.size(), c.widths.size() * c.heights.size());
    std::size_t i = 0;
    int y = 0;
    for (int h : c.heights) {
      int x = 0;
      for (int w : c.widths) {
        EXPECT_EQ(tiles[i++], cv::Rect(x, y, w, h));
        x += w;
      }
      y += h;
    }
  }
}

TEST(TiledSegments, ComeBackInImageCoordinates)
{
  // One straight edge inside a single tile of 50 x 50: found there, as the
  // whole-image search finds it.
  struct Edge
  {
    cv::Point from;
    cv::Point to;
  };
  for (const Edge & e :
       {Edge{{60, 10}, {95, 10}}, Edge{{20, 55}, {20, 95}}, Edge{{55, 60}, {90, 95}}}) {
    cv::Mat edges = cv::Mat::zeros(100, 100, CV_8UC1);
    cv::line(edges, e.from, e.to, cv::Scalar(255), 1, cv::LINE_8);
    const quorvane::direction::HoughAttempt attempt{20, 20.0, 30.0};
    std::vector<cv::Vec4i> whole;
    std::vector<cv::Vec4i> tiled;
    quorvane::direction::detectSegments(edges, attempt, 100, whole);
    quorvane::direction::detectSegments(edges, attempt, 50, tiled);
    ASSERT_EQ(tiled.size(), 1U) << e.from;
    EXPECT_EQ(tiled, whole);
    const cv::Point a(tiled[0][0], tiled[0][1]);
    const cv::Point b(tiled[0][2], tiled[0][3]);
    EXPECT_TRUE((a == e.from && b == e.to) || (a == e.to && b == e.from)) << a << b;
  }
}

struct ForcedTilesCase
{
  double degrees;  ///< the plan's wall direction
  int tileSide;
};

void PrintTo(const ForcedTilesCase & c, std::ostream * os)
{
  *os << c.degrees << " deg in tiles of " << c.tileSide;
}

class ForcedTiles : public ::testing::TestWithParam<ForcedTilesCase>
{
};

TEST_P(ForcedTiles, MainDirectionIsTheWallDirectionAsWithoutTiles)
{
  const ForcedTilesCase c = GetParam();
  const cv::Mat plan = quorvane::tools::makeSampleFloorPlan({600, 600}, c.degrees, 3);
  const double whole = quorvane::direction::mainDirection(plan);
  const double tiled = quorvane::direction::mainDirection(plan, c.tileSide);
  const double wall = c.degrees * kPi / 180.0;
  EXPECT_NEAR(whole, wall, kPi / 180.0);
  EXPECT_NEAR(tiled, wall, kPi / 180.0);
}

INSTANTIATE_TEST_SUITE_P(
  Plans, ForcedTiles,
  ::testing::Values(
    ForcedTilesCase{0, 100}, ForcedTilesCase{17, 100}, ForcedTilesCase{17, 64},
    ForcedTilesCase{45, 150}, ForcedTilesCase{90, 100}, ForcedTilesCase{123, 64}));

TEST(ForcedTiles, WarpIsBitIdenticalToOpenCv)
{
  // Random images, matrices (turns, scales, shears, shifts, some as float),
  // windows and crop limits: the tiled warp gives OpenCV's pixels.
  const unsigned seed = 20240611;
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int i = 0; i < 400; ++i) {
    SCOPED_TRACE(::testing::Message() << "seed " << seed << ", case " << i);
    const cv::Size srcSize(1 + static_cast<int>(rng() % 120), 1 + static_cast<int>(rng() % 120));
    cv::Mat src(srcSize, i % 4 == 3 ? CV_8UC3 : CV_8UC1);
    cv::randu(src, 0, 256);
    if (i % 2 == 1) {
      src = src > 128;  // two-level maps as the callers warp them
    }
    const double scale = i % 3 == 0 ? 0.3 + 3.0 * unit(rng) : 1.0;
    cv::Mat matrix = cv::getRotationMatrix2D(
      cv::Point2f(
        static_cast<float>(unit(rng) * srcSize.width),
        static_cast<float>(unit(rng) * srcSize.height)),
      360.0 * unit(rng), scale);
    matrix.at<double>(0, 2) += 50.0 * (unit(rng) - 0.5);
    matrix.at<double>(1, 2) += 50.0 * (unit(rng) - 0.5);
    if (i % 5 == 0) {
      matrix.at<double>(0, 1) += unit(rng) - 0.5;
    }
    if (i % 7 == 0) {
      matrix.convertTo(matrix, CV_32F);
    }
    const cv::Size dstSize(1 + static_cast<int>(rng() % 150), 1 + static_cast<int>(rng() % 150));
    const int maxSourceSide = 16 + static_cast<int>(rng() % 48);
    cv::Mat expected;
    cv::warpAffine(
      src, expected, matrix, dstSize, cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar());
    cv::Mat tiled;
    quorvane::rotation::warpBilinear(src, matrix, dstSize, tiled, maxSourceSide);
    ASSERT_EQ(tiled.size(), expected.size());
    ASSERT_EQ(tiled.type(), expected.type());
    ASSERT_EQ(cv::norm(tiled, expected, cv::NORM_INF), 0.0);
    if (i % 10 == 0) {
      cv::Mat inPlace = src.clone();
      quorvane::rotation::warpBilinear(inPlace, matrix, dstSize, inPlace, maxSourceSide);
      ASSERT_EQ(cv::norm(inPlace, expected, cv::NORM_INF), 0.0);
    }
  }
}

}  // namespace

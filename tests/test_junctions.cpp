#include <gtest/gtest.h>

#include "expect_cv_error.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "get_special_points.hpp"
#include "junctions.hpp"
#include "reference_junctions.hpp"

namespace
{

using Points = std::vector<cv::Point>;
using Pair = std::array<cv::Point, 2>;
namespace qd = quorvane::junctions;

// ---------------------------------------------------------------- oracles

using quorvane::oracle::referenceJunctionPixels;

using quorvane::oracle::bruteForceFarthestPair;

// ---------------------------------------------------------------- helpers

Points junctionPair(const cv::Mat & skeleton)
{
  Points out{cv::Point(7, 7), cv::Point(8, 8), cv::Point(9, 9)};  // discarded
  get_special_points gsp;
  EXPECT_EQ(gsp.SkeletonGetJunctionPt(skeleton, out), 0);
  return out;
}

Points pairOf(const Pair & p) { return {p[0], p[1]}; }

Points detectedPixels(const cv::Mat & skeleton)
{
  Points out;
  qd::collectJunctionPixels(skeleton, out);
  return out;
}

cv::Mat fromRows(const std::vector<std::string> & rows, uchar value = 255)
{
  cv::Mat img =
    cv::Mat::zeros(static_cast<int>(rows.size()), static_cast<int>(rows[0].size()), CV_8UC1);
  for (int y = 0; y < img.rows; ++y) {
    for (int x = 0; x < img.cols; ++x) {
      img.at<uchar>(y, x) =
        rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] == '#' ? value : 0;
    }
  }
  return img;
}

void sortRaster(Points & p)
{
  std::sort(p.begin(), p.end(), [](const cv::Point & a, const cv::Point & b) {
    return a.y != b.y ? a.y < b.y : a.x < b.x;
  });
  p.erase(std::unique(p.begin(), p.end()), p.end());
}

Pair pairSearch(const Points & p)
{
  qd::IndexPair ij{0, 0};
  if (!qd::farthestPairInRasterOrder(p, ij)) {
    return {cv::Point(0, 0), cv::Point(0, 0)};
  }
  return {p[ij.first], p[ij.second]};
}

const Points kNone{cv::Point(0, 0), cv::Point(0, 0)};

// ---------------------------------------------------------------- lookup table

TEST(JunctionTable, EveryNeighbourhoodMatchesTheTwelveKernels)
{
  const std::array<cv::Point, 8> offsets{cv::Point(-1, -1), {0, -1}, {1, -1}, {-1, 0}, {1, 0},
                                         {-1, 1},           {0, 1},  {1, 1}};
  for (unsigned code = 0; code < 256; ++code) {
    cv::Mat img = cv::Mat::zeros(5, 5, CV_8UC1);
    img.at<uchar>(2, 2) = 255;
    for (unsigned b = 0; b < 8; ++b) {
      if ((code >> b) & 1U) {
        img.at<uchar>(cv::Point(2, 2) + offsets[b]) = 255;
      }
    }
    const Points literal = referenceJunctionPixels(img);
    const bool centre = std::find(literal.begin(), literal.end(), cv::Point(2, 2)) != literal.end();
    EXPECT_EQ(qd::junctionLookupTable()[code] != 0, centre) << "code " << code;
    EXPECT_EQ(detectedPixels(img), literal) << "code " << code;
  }
}

TEST(JunctionTable, ShapesAreTwelveDistinctThreeArmShapesWithADiagonal)
{
  const auto & masks = qd::junctionArmMasks();
  const unsigned straight = (1U << qd::kN) | (1U << qd::kW) | (1U << qd::kE) | (1U << qd::kS);
  for (const std::uint8_t m : masks) {
    EXPECT_EQ(__builtin_popcount(m), 3);
    EXPECT_NE(m & ~straight, 0U);
    EXPECT_EQ(std::count(masks.begin(), masks.end(), m), 1);
  }
}

// ---------------------------------------------------------------- hand-drawn cases

struct DrawnCase
{
  const char * name;
  std::vector<std::string> rows;
  Points pixels;
  Points pair;
};

void PrintTo(const DrawnCase & c, std::ostream * os) { *os << c.name; }

class DrawnSkeleton : public ::testing::TestWithParam<DrawnCase>
{
};

TEST_P(DrawnSkeleton, GivesExpectedJunctionsAndPair)
{
  const cv::Mat img = fromRows(GetParam().rows);
  EXPECT_EQ(detectedPixels(img), GetParam().pixels);
  EXPECT_EQ(junctionPair(img), GetParam().pair);
}

INSTANTIATE_TEST_SUITE_P(
  Junctions, DrawnSkeleton,
  ::testing::Values(
    DrawnCase{"AllClear", {".....", ".....", "....."}, {}, kNone},
    DrawnCase{"StraightLine", {".....", "#####", "....."}, {}, kNone},
    DrawnCase{"DiagonalLine", {"#....", ".#...", "..#..", "...#."}, {}, kNone},
    DrawnCase{"SquareOutline", {"#####", "#...#", "#...#", "#####"}, {}, kNone},
    DrawnCase{"Diamond", {"..#..", ".#.#.", "#...#", ".#.#.", "..#.."}, {}, kNone},
    DrawnCase{"SingleY", {"#...#", ".#.#.", "..#..", "..#..", "..#.."}, {{2, 2}}, kNone},
    DrawnCase{"DiagonalX", {"#...#", ".#.#.", "..#..", ".#.#.", "#...#"}, {{2, 2}}, kNone},
    DrawnCase{"BarOverStem", {"#####", "..#..", "..#..", "..#.."}, {{2, 1}}, kNone},
    DrawnCase{
      "DoubleY",
      {"#...#.....", ".#.#......", "..#.......", "..#.......", "..#.......", "..#.......",
       ".#.#......", "#...#....."},
      {{2, 2}, {2, 5}},
      {{2, 2}, {2, 5}}},
    DrawnCase{
      "Plus",
      {"..#..", "..#..", "#####", "..#..", "..#.."},
      {{2, 1}, {1, 2}, {3, 2}, {2, 3}},
      {{2, 1}, {2, 3}}},
    DrawnCase{"Full3x3", {"###", "###", "###"}, {{1, 1}}, kNone},
    DrawnCase{
      "Full5x5",
      {"#####", "#####", "#####", "#####", "#####"},
      {{1, 1}, {2, 1}, {3, 1}, {1, 2}, {2, 2}, {3, 2}, {1, 3}, {2, 3}, {3, 3}},
      {{1, 1}, {3, 3}}}),
  [](const ::testing::TestParamInfo<DrawnCase> & c) { return std::string(c.param.name); });

class SetValue : public ::testing::TestWithParam<int>
{
};

TEST_P(SetValue, AnyNonzeroValueCountsAsSet)
{
  const cv::Mat img = fromRows(
    {"#...#.....", ".#.#......", "..#.......", "..#.......", "..#.......", "..#.......",
     ".#.#......", "#...#....."},
    static_cast<uchar>(GetParam()));
  EXPECT_EQ(junctionPair(img), (Points{{2, 2}, {2, 5}}));
}

INSTANTIATE_TEST_SUITE_P(Junctions, SetValue, ::testing::Values(1, 200, 255));

TEST(Junctions, EmptyImageGivesOriginTwice)
{
  EXPECT_EQ(junctionPair(cv::Mat()), kNone);
  EXPECT_EQ(junctionPair(cv::Mat(0, 0, CV_8UC1)), kNone);
}

TEST(Junctions, BranchesLeavingAViewContributeNoArm)
{
  // A Y at (4, 4) with its diagonal arms in row 3; a view starting at row 4
  // sees only the stem, so its top pixel is no junction.
  cv::Mat big = fromRows(
    {".........", ".........", ".........", "...#.#...", "....#....", "....#....", "....#...."});
  EXPECT_EQ(detectedPixels(big), (Points{{4, 4}}));
  const cv::Mat view = big(cv::Rect(1, 4, 7, 3));
  EXPECT_TRUE(detectedPixels(view).empty());
  EXPECT_TRUE(detectedPixels(view.clone()).empty());
}

class WrongType : public ::testing::TestWithParam<int>
{
};

TEST_P(WrongType, ThrowsUnsupportedFormatAndLeavesOutputEmpty)
{
  const cv::Mat img(6, 6, GetParam(), cv::Scalar::all(255));
  Points out{cv::Point(1, 2)};
  get_special_points gsp;
  quorvane::test::expectCvError(
    [&] { gsp.SkeletonGetJunctionPt(img, out); }, cv::Error::StsUnsupportedFormat);
  EXPECT_TRUE(out.empty());
}

INSTANTIATE_TEST_SUITE_P(
  Junctions, WrongType, ::testing::Values(CV_8UC3, CV_16UC1, CV_32FC1, CV_8SC1));

TEST(Junctions, ThreeDimensionalMatThrowsAndLeavesOutputEmpty)
{
  const int sizes[3] = {4, 4, 4};
  const cv::Mat cube(3, sizes, CV_8UC1, cv::Scalar(255));
  Points out{cv::Point(1, 2)};
  get_special_points gsp;
  EXPECT_THROW(gsp.SkeletonGetJunctionPt(cube, out), cv::Exception);
  EXPECT_TRUE(out.empty());
}

// The two pairs (P0, P1) and (P0, P2) differ by 1 in squared distance; single
// precision rounds both to the same value and would keep the earlier pair.
struct FarCase
{
  int a, b, c, d;
};

class FarApart : public ::testing::TestWithParam<FarCase>
{
};

TEST_P(FarApart, ExactDistancesPickTheTrulyFarthestPair)
{
  const FarCase fc = GetParam();
  const cv::Point p0(1, 1), p1(1 + fc.a, 1 + fc.b), p2(1 + fc.c, 1 + fc.d);
  cv::Mat img = cv::Mat::zeros(p2.y + 3, std::max(p1.x, p2.x) + 3, CV_8UC1);
  for (const cv::Point & p : {p0, p1, p2}) {
    img(cv::Rect(p.x - 1, p.y - 1, 3, 3)).setTo(255);  // a full 3x3 block: one junction
  }
  ASSERT_EQ(detectedPixels(img), (Points{p0, p1, p2}));
  const auto single = [](int dx, int dy) {
    return static_cast<double>(
      static_cast<float>(dx) * static_cast<float>(dx) +
      static_cast<float>(dy) * static_cast<float>(dy));
  };
  ASSERT_EQ(single(fc.a, fc.b), single(fc.c, fc.d));  // the case is meaningful
  EXPECT_EQ(junctionPair(img), (Points{p0, p2}));
}

INSTANTIATE_TEST_SUITE_P(
  Junctions, FarApart, ::testing::Values(FarCase{5002, 6, 4996, 245}, FarCase{5016, 7, 5009, 265}));

// ---------------------------------------------------------------- randomised images

using Generator = cv::Mat (*)(std::mt19937 &);

int uniform(std::mt19937 & rng, int lo, int hi)
{
  return std::uniform_int_distribution<int>(lo, hi)(rng);
}

cv::Mat randomLines(std::mt19937 & rng)
{
  cv::Mat img = cv::Mat::zeros(uniform(rng, 1, 48), uniform(rng, 1, 200), CV_8UC1);
  for (int k = uniform(rng, 1, 8); k > 0; --k) {
    const cv::Point a(uniform(rng, -5, img.cols + 5), uniform(rng, -5, img.rows + 5));
    const cv::Point b(uniform(rng, -5, img.cols + 5), uniform(rng, -5, img.rows + 5));
    cv::line(img, a, b, cv::Scalar(uniform(rng, 1, 255)), 1, cv::LINE_8);
  }
  return img;
}

cv::Mat randomBlobs(std::mt19937 & rng)
{
  cv::Mat img = cv::Mat::zeros(uniform(rng, 1, 40), uniform(rng, 1, 40), CV_8UC1);
  for (int k = uniform(rng, 1, 4); k > 0; --k) {
    const cv::Point c(uniform(rng, -3, img.cols + 3), uniform(rng, -3, img.rows + 3));
    cv::circle(img, c, uniform(rng, 1, 12), cv::Scalar(255), cv::FILLED);
  }
  return img;
}

cv::Mat randomCrosses(std::mt19937 & rng)
{
  cv::Mat img = cv::Mat::zeros(uniform(rng, 3, 40), uniform(rng, 3, 40), CV_8UC1);
  for (int k = uniform(rng, 1, 3); k > 0; --k) {
    const cv::Point c(uniform(rng, 0, img.cols - 1), uniform(rng, 0, img.rows - 1));
    cv::line(img, {0, c.y}, {img.cols - 1, c.y}, cv::Scalar(255));
    cv::line(img, {c.x, 0}, {c.x, img.rows - 1}, cv::Scalar(255));
    cv::line(img, c - cv::Point(50, 50), c + cv::Point(50, 50), cv::Scalar(255));
  }
  return img;
}

cv::Mat randomNoise(std::mt19937 & rng)
{
  cv::Mat img(uniform(rng, 1, 24), uniform(rng, 1, 300), CV_8UC1);
  const int percent = uniform(rng, 5, 90);
  for (int y = 0; y < img.rows; ++y) {
    for (int x = 0; x < img.cols; ++x) {
      img.at<uchar>(y, x) = uniform(rng, 0, 99) < percent ? 200 : 0;
    }
  }
  return img;
}

// A view cut out of a larger noisy image: not continuous, with set pixels
// all around it.
cv::Mat randomView(std::mt19937 & rng)
{
  const cv::Mat big = randomNoise(rng);
  const int x = uniform(rng, 0, big.cols - 1), y = uniform(rng, 0, big.rows - 1);
  return big(cv::Rect(x, y, uniform(rng, 1, big.cols - x), uniform(rng, 1, big.rows - y)));
}

struct RandomFamily
{
  const char * name;
  Generator generate;
};

void PrintTo(const RandomFamily & c, std::ostream * os) { *os << c.name; }

class RandomSkeleton : public ::testing::TestWithParam<RandomFamily>
{
};

TEST_P(RandomSkeleton, MatchesLiteralKernelsAndBruteForcePair)
{
  const unsigned seed = 20240611U;
  std::mt19937 rng(seed);
  for (int iteration = 0; iteration < 300; ++iteration) {
    SCOPED_TRACE("seed " + std::to_string(seed) + ", iteration " + std::to_string(iteration));
    const cv::Mat img = GetParam().generate(rng);
    const Points literal = referenceJunctionPixels(img);
    ASSERT_EQ(detectedPixels(img), literal);
    ASSERT_EQ(junctionPair(img), pairOf(bruteForceFarthestPair(literal)));
    ASSERT_EQ(junctionPair(img), junctionPair(img.clone()));
  }
}

INSTANTIATE_TEST_SUITE_P(
  Junctions, RandomSkeleton,
  ::testing::Values(
    RandomFamily{"Lines", randomLines}, RandomFamily{"Blobs", randomBlobs},
    RandomFamily{"Crosses", randomCrosses}, RandomFamily{"Noise", randomNoise},
    RandomFamily{"Views", randomView}),
  [](const ::testing::TestParamInfo<RandomFamily> & c) { return std::string(c.param.name); });

// ---------------------------------------------------------------- pair search on points

using PointGenerator = Points (*)(std::mt19937 &);

Points boxPoints(std::mt19937 & rng)
{
  Points p;
  const int w = uniform(rng, 0, 12), h = uniform(rng, 0, 12);
  for (int k = uniform(rng, 2, 60); k > 0; --k) {
    p.emplace_back(uniform(rng, 0, w), uniform(rng, 0, h));
  }
  return p;
}

// Subsets of one line: horizontal, vertical or diagonal.
Points linePoints(std::mt19937 & rng)
{
  const cv::Point step = std::array<cv::Point, 4>{
    cv::Point(1, 0), {0, 1}, {1, 1}, {-1, 1}}[static_cast<std::size_t>(uniform(rng, 0, 3))];
  const cv::Point start(50, 3);
  Points p;
  for (int k = uniform(rng, 2, 30); k > 0; --k) {
    p.push_back(start + step * uniform(rng, 0, 40));
  }
  return p;
}

// Lattice points of circles of radius 65 (many equal diameters), a subset.
Points circlePoints(std::mt19937 & rng)
{
  Points p;
  for (int x = -65; x <= 65; ++x) {
    for (int y = -65; y <= 65; ++y) {
      if (x * x + y * y == 65 * 65 && uniform(rng, 0, 3) > 0) {
        p.emplace_back(100 + x, 100 + y);
      }
    }
  }
  p.emplace_back(100, 100);
  return p;
}

// Points on the outline of a rectangle, corners always present.
Points rectanglePoints(std::mt19937 & rng)
{
  const int w = uniform(rng, 1, 30), h = uniform(rng, 1, 30);
  Points p{{0, 0}, {w, 0}, {0, h}, {w, h}};
  for (int k = uniform(rng, 0, 20); k > 0; --k) {
    const int t = uniform(rng, 0, std::max(w, h));
    p.emplace_back(std::min(t, w), uniform(rng, 0, 1) * h);
    p.emplace_back(uniform(rng, 0, 1) * w, std::min(t, h));
  }
  return p;
}

// Few points spread over the whole 32-bit coordinate range.
Points hugePoints(std::mt19937 & rng)
{
  Points p;
  for (int k = uniform(rng, 2, 12); k > 0; --k) {
    p.emplace_back(uniform(rng, 0, INT32_MAX), uniform(rng, 0, INT32_MAX));
  }
  p.emplace_back(INT32_MAX, 0);
  return p;
}

struct PointFamily
{
  const char * name;
  PointGenerator generate;
};

void PrintTo(const PointFamily & c, std::ostream * os) { *os << c.name; }

class RandomPoints : public ::testing::TestWithParam<PointFamily>
{
};

TEST_P(RandomPoints, HullSearchMatchesBruteForcePair)
{
  const unsigned seed = 7321U;
  std::mt19937 rng(seed);
  for (int iteration = 0; iteration < 2000; ++iteration) {
    SCOPED_TRACE("seed " + std::to_string(seed) + ", iteration " + std::to_string(iteration));
    Points p = GetParam().generate(rng);
    sortRaster(p);
    ASSERT_EQ(pairSearch(p), bruteForceFarthestPair(p));
  }
}

TEST_P(RandomPoints, HullIsStrictlyConvexCounterClockwiseAndHoldsAllPoints)
{
  const unsigned seed = 99U;
  std::mt19937 rng(seed);
  const auto cross = [](cv::Point o, cv::Point a, cv::Point b) {
    return (std::int64_t{a.x} - o.x) * (std::int64_t{b.y} - o.y) -
           (std::int64_t{a.y} - o.y) * (std::int64_t{b.x} - o.x);
  };
  for (int iteration = 0; iteration < 300; ++iteration) {
    SCOPED_TRACE("seed " + std::to_string(seed) + ", iteration " + std::to_string(iteration));
    Points p = GetParam().generate(rng);
    sortRaster(p);
    const std::vector<std::size_t> hull = qd::convexHullOfRasterPoints(p);
    ASSERT_GE(hull.size(), p.size() < 2 ? p.size() : 2U);
    const std::size_t h = hull.size();
    for (std::size_t i = 0; h >= 3 && i < h; ++i) {
      const cv::Point a = p[hull[i]], b = p[hull[(i + 1) % h]];
      ASSERT_GT(cross(a, b, p[hull[(i + 2) % h]]), 0);
      for (const cv::Point & q : p) {
        ASSERT_GE(cross(a, b, q), 0);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
  Junctions, RandomPoints,
  ::testing::Values(
    PointFamily{"Box", boxPoints}, PointFamily{"Line", linePoints},
    PointFamily{"Circle", circlePoints}, PointFamily{"Rectangle", rectanglePoints},
    PointFamily{"Huge", hugePoints}),
  [](const ::testing::TestParamInfo<PointFamily> & c) { return std::string(c.param.name); });

TEST(Junctions, FewerThanTwoPointsHaveNoPair)
{
  qd::IndexPair ij{5, 6};
  EXPECT_FALSE(qd::farthestPairInRasterOrder({}, ij));
  EXPECT_FALSE(qd::farthestPairInRasterOrder({cv::Point(3, 4)}, ij));
  EXPECT_EQ(ij.first, 5U);
  EXPECT_EQ(ij.second, 6U);
}

TEST(Junctions, SquareCornersTieAndTheFirstDiagonalWins)
{
  // (0,0)-(9,9) and (9,0)-(0,9) are equally long; (0,0) comes first.
  EXPECT_EQ(pairSearch({{0, 0}, {9, 0}, {0, 9}, {9, 9}}), (Pair{cv::Point(0, 0), cv::Point(9, 9)}));
  // Raster order puts (3,0) before (0,3): its diagonal wins.
  EXPECT_EQ(pairSearch({{3, 0}, {0, 3}, {6, 3}, {3, 6}}), (Pair{cv::Point(3, 0), cv::Point(3, 6)}));
}

}  // namespace

// Turning-angle curvature and the vertex where it is greatest.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "CurvatureAnalyzer.hpp"
#include "closed_form_curvature.hpp"

namespace
{

using Polyline = std::vector<cv::Point>;

double curvatureOf(cv::Point a, cv::Point b, cv::Point c)
{
  return CurvatureAnalyzer().curvature(a, b, c);
}

cv::Point sharpest(const Polyline & points)
{
  return CurvatureAnalyzer().findMaxCurvaturePoint(points);
}

using quorvane::oracle::kTurningAngleTolerance;
using quorvane::oracle::shorterLeg;
using quorvane::oracle::turningAngle;

}  // namespace

struct CurvatureCase
{
  const char * name;
  cv::Point a, b, c;
  double expected;
};

void PrintTo(const CurvatureCase & c, std::ostream * os) { *os << c.name; }

class CurvatureExamples : public ::testing::TestWithParam<CurvatureCase>
{
};

TEST_P(CurvatureExamples, GiveTheExpectedValue)
{
  const CurvatureCase & p = GetParam();
  EXPECT_EQ(curvatureOf(p.a, p.b, p.c), p.expected);
}

INSTANTIATE_TEST_SUITE_P(
  Curvature, CurvatureExamples,
  ::testing::Values(
    CurvatureCase{"StraightOn", {0, 0}, {5, 0}, {10, 0}, 0.0},
    CurvatureCase{"RightAngleLegsOf10", {0, 0}, {10, 0}, {10, 10}, (CV_PI / 2) / 10},
    CurvatureCase{"ShorterLegDecides", {0, 0}, {10, 0}, {10, 2}, (CV_PI / 2) / 2},
    CurvatureCase{"DoublingBack", {0, 0}, {4, 0}, {0, 0}, CV_PI / 4},
    CurvatureCase{"RepeatedFirst", {3, 3}, {3, 3}, {7, 1}, 0.0},
    CurvatureCase{"RepeatedLast", {3, 3}, {7, 1}, {7, 1}, 0.0},
    CurvatureCase{"DiagonalRoundsToOne", {0, 0}, {3, 4}, {6, 8}, 0.0},
    CurvatureCase{
      "ExtremeReversal", {INT_MIN, 0}, {INT_MAX, 0}, {INT_MIN, 0}, CV_PI / 4294967295.0},
    CurvatureCase{
      "ExtremeRightAngle",
      {INT_MIN, INT_MIN},
      {INT_MAX, INT_MIN},
      {INT_MAX, INT_MAX},
      (CV_PI / 2) / 4294967295.0}),
  [](const auto & param) { return std::string(param.param.name); });

TEST(Curvature, MirrorImageGivesIdenticalValues)
{
  const unsigned seed = 9u;
  SCOPED_TRACE(seed);
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> coord(-50, 50);
  for (int i = 0; i < 5000; ++i) {
    const cv::Point a(coord(rng), coord(rng)), b(coord(rng), coord(rng)), c(coord(rng), coord(rng));
    const auto mirror = [](cv::Point p) { return cv::Point(p.x, -p.y); };
    ASSERT_EQ(curvatureOf(a, b, c), curvatureOf(mirror(a), mirror(b), mirror(c))) << i;
  }
}

TEST(Curvature, IsTheClosedFormAngleOverTheShorterLeg)
{
  const unsigned seed = 10u;
  SCOPED_TRACE(seed);
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> small(-1000, 1000), any(INT_MIN, INT_MAX);
  for (int i = 0; i < 20000; ++i) {
    auto & coord = i % 2 ? small : any;
    const cv::Point a(coord(rng), coord(rng)), b(coord(rng), coord(rng)), c(coord(rng), coord(rng));
    const double value = curvatureOf(a, b, c), leg = shorterLeg(a, b, c);
    ASSERT_TRUE(std::isfinite(value) && value >= 0.0) << i;
    if (leg == 0.0) {
      ASSERT_EQ(value, 0.0) << i;
    } else {
      ASSERT_NEAR(value * leg, turningAngle(a, b, c), kTurningAngleTolerance) << i;
    }
  }
}

TEST(MaxCurvaturePoint, FewerThanThreePointsGiveTheOrigin)
{
  EXPECT_EQ(sharpest({}), cv::Point(0, 0));
  EXPECT_EQ(sharpest({{5, 5}}), cv::Point(0, 0));
  EXPECT_EQ(sharpest({{5, 5}, {9, 1}}), cv::Point(0, 0));
}

TEST(MaxCurvaturePoint, StraightAxisPolylineGivesTheOrigin)
{
  EXPECT_EQ(sharpest({{1, 7}, {2, 7}, {4, 7}, {9, 7}}), cv::Point(0, 0));
  EXPECT_EQ(sharpest({{3, -1}, {3, 5}, {3, 6}, {3, 60}}), cv::Point(0, 0));
}

TEST(MaxCurvaturePoint, DiagonalRoundingPicksTheFirstVertex)
{
  const double value = curvatureOf({0, 0}, {1, 1}, {2, 2});
  EXPECT_GT(value, 0.0);
  EXPECT_LT(value, 1e-7);
  EXPECT_EQ(sharpest({{0, 0}, {1, 1}, {2, 2}, {3, 3}}), cv::Point(1, 1));
  EXPECT_EQ(sharpest({{0, 0}, {3, 4}, {6, 8}}), cv::Point(0, 0));
}

TEST(MaxCurvaturePoint, SharperVertexWins)
{
  // (10, 10) turns by pi/2 over a leg of 2, (12, 10) by pi over a leg of 1.
  EXPECT_EQ(sharpest({{0, 0}, {10, 0}, {10, 10}, {12, 10}, {11, 10}}), cv::Point(12, 10));
}

TEST(MaxCurvaturePoint, FirstOfEqualVerticesWins)
{
  // Two right angles with legs of 10: the earlier corner is returned.
  EXPECT_EQ(sharpest({{0, 0}, {10, 0}, {10, 10}, {20, 10}}), cv::Point(10, 0));
}

TEST(MaxCurvaturePoint, OnlyTheInteriorVertexIsACandidate)
{
  EXPECT_EQ(sharpest({{9, 9}, {20, 9}, {20, 20}}), cv::Point(20, 9));
}

TEST(MaxCurvaturePoint, IsTheFirstMaximumOfTheVertexCurvatures)
{
  // Small coordinates give many exactly equal curvatures: the first of them
  // must win, as std::max_element picks it.
  const unsigned seed = 12u;
  SCOPED_TRACE(seed);
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> coord(-6, 6), length(0, 12);
  for (int round = 0; round < 2000; ++round) {
    Polyline points(std::size_t(length(rng)));
    for (auto & p : points) {
      p = {coord(rng), coord(rng)};
    }
    std::vector<double> values;
    for (std::size_t i = 1; i + 1 < points.size(); ++i) {
      values.push_back(curvatureOf(points[i - 1], points[i], points[i + 1]));
    }
    const auto top = std::max_element(values.begin(), values.end());
    const cv::Point expected = top == values.end() || *top == 0.0
                                 ? cv::Point(0, 0)
                                 : points[std::size_t(top - values.begin()) + 1];
    ASSERT_EQ(sharpest(points), expected) << round;
  }
}

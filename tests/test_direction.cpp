// The main direction of a map: the direction histogram, the falling vote
// ladder of the segment search, and whole maps.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "Rotator.hpp"
#include "direction.hpp"
#include "sample_floor_plan.hpp"
#include "turned_room.hpp"

namespace
{

using quorvane::direction::directionBin;
using quorvane::direction::DirectionHistogram;
using quorvane::direction::HoughAttempt;

using quorvane::test::kPi;
using quorvane::test::rad;
using quorvane::test::roomMap;

// ------------------------------------------------------------ histogram

TEST(DirectionHistogram, FoldsDirectionsIntoZeroToPi)
{
  using quorvane::direction::foldedDirection;
  EXPECT_EQ(foldedDirection(1, 0), 0.0);
  EXPECT_EQ(foldedDirection(-1, 0), kPi);
  EXPECT_EQ(foldedDirection(0, 1), kPi / 2);
  EXPECT_EQ(foldedDirection(0, -1), kPi / 2);
  EXPECT_DOUBLE_EQ(foldedDirection(1, -1), 3 * kPi / 4);
  EXPECT_DOUBLE_EQ(foldedDirection(-1, -1), kPi / 4);
}

TEST(DirectionHistogram, BinsAreFiveDegreesWithPiInTheLastBin)
{
  const std::vector<std::pair<double, int>> table = {{0.0, 0},       {rad(1), 0},  {rad(4), 0},
                                                     {rad(6), 1},    {kPi / 4, 9}, {kPi / 2, 18},
                                                     {rad(179), 35}, {kPi, 35}};
  for (const auto & entry : table) {
    EXPECT_EQ(directionBin(entry.first), entry.second) << entry.first;
  }
}

TEST(DirectionHistogram, FourAndSixDegreesAreNotAveraged)
{
  DirectionHistogram h;
  h.add(rad(4), 10.0);
  h.add(rad(6), 11.0);
  EXPECT_EQ(h.heaviestBin(), 1);
  EXPECT_DOUBLE_EQ(h.meanDirectionOfHeaviestBin(), rad(6));
}

TEST(DirectionHistogram, OneAndOneSeventyNineDegreesAreNotPooled)
{
  DirectionHistogram h;
  h.add(rad(1), 10.0);
  h.add(rad(179), 6.0);
  h.add(rad(178), 6.0);
  EXPECT_EQ(h.heaviestBin(), 35);
  EXPECT_NEAR(h.meanDirectionOfHeaviestBin(), rad(178.5), 1e-12);
}

TEST(DirectionHistogram, EqualTotalsGoToTheLowerBin)
{
  DirectionHistogram h;
  h.add(rad(52), 10.0);
  h.add(rad(22), 4.0);
  h.add(rad(23), 6.0);
  EXPECT_EQ(h.heaviestBin(), 4);
  EXPECT_NEAR(h.meanDirectionOfHeaviestBin(), rad(22.6), 1e-12);
}

TEST(DirectionHistogram, MeanIsLengthWeightedInsideTheBin)
{
  DirectionHistogram h;
  h.add(rad(11), 30.0);
  h.add(rad(13), 10.0);
  EXPECT_NEAR(h.meanDirectionOfHeaviestBin(), rad(11.5), 1e-12);
}

TEST(DirectionHistogram, HorizontalSegmentsGiveZeroOrPiByDrawingOrder)
{
  DirectionHistogram leftToRight;
  leftToRight.addSegment(cv::Vec4i(0, 5, 10, 5));
  EXPECT_EQ(leftToRight.meanDirectionOfHeaviestBin(), 0.0);
  DirectionHistogram rightToLeft;
  rightToLeft.addSegment(cv::Vec4i(10, 5, 0, 5));
  EXPECT_EQ(rightToLeft.heaviestBin(), 35);
  EXPECT_EQ(rightToLeft.meanDirectionOfHeaviestBin(), kPi);
}

TEST(DirectionHistogram, ZeroLengthSegmentsAreSkipped)
{
  DirectionHistogram h;
  h.addSegment(cv::Vec4i(3, 3, 3, 3));
  EXPECT_EQ(h.meanDirectionOfHeaviestBin(), 0.0);
  h.addSegment(cv::Vec4i(3, 3, 3, 9));
  EXPECT_EQ(h.meanDirectionOfHeaviestBin(), kPi / 2);
}

// ------------------------------------------------------------ vote ladder

/// Runs the ladder with a fake detector yielding counts[i] segments at
/// attempt i; returns the attempts made.
std::vector<HoughAttempt> ladderWithCounts(
  const std::vector<size_t> & counts, std::vector<cv::Vec4i> & segments)
{
  std::vector<HoughAttempt> made;
  quorvane::direction::detectSegmentsWithFallingVotes(
    [&](const HoughAttempt & a, std::vector<cv::Vec4i> & out) {
      out.assign(counts[made.size()], cv::Vec4i(0, 0, 1, 1));
      made.push_back(a);
    },
    segments);
  return made;
}

TEST(VoteLadder, FourSegmentsAtTheFirstThresholdStopTheSearch)
{
  std::vector<cv::Vec4i> segments;
  EXPECT_EQ(ladderWithCounts({4, 9, 9, 9, 9}, segments).size(), 1u);
  EXPECT_EQ(segments.size(), 4u);
}

TEST(VoteLadder, ThreeSegmentsTriggerTheNextAttempt)
{
  std::vector<cv::Vec4i> segments;
  const auto made = ladderWithCounts({3, 5, 9, 9, 9}, segments);
  ASSERT_EQ(made.size(), 2u);
  EXPECT_EQ(made[1].votes, 16);
  EXPECT_EQ(segments.size(), 5u);
}

TEST(VoteLadder, FiveAttemptsWithFallingParametersThenTheLastListIsUsed)
{
  std::vector<cv::Vec4i> segments;
  const auto made = ladderWithCounts({0, 1, 3, 0, 2}, segments);
  ASSERT_EQ(made.size(), 5u);
  const int votes[] = {20, 16, 12, 8, 4};
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(made[i].votes, votes[i]);
    EXPECT_EQ(made[i].minLength, votes[i]);
    EXPECT_EQ(made[i].maxGap, 1.5 * votes[i]);
  }
  EXPECT_EQ(segments.size(), 2u);
}

TEST(VoteLadder, HandDrawnEdgesWithThreeLongLinesNeedTheSecondAttempt)
{
  // Three horizontal edges of 40 pixels and a vertical one of 17, which only
  // the second attempt (minimum length 16) accepts.
  cv::Mat edges = cv::Mat::zeros(100, 100, CV_8UC1);
  for (int y : {10, 30, 50}) {
    cv::line(edges, {10, y}, {49, y}, cv::Scalar(255), 1, cv::LINE_8);
  }
  cv::line(edges, {80, 10}, {80, 26}, cv::Scalar(255), 1, cv::LINE_8);
  std::vector<size_t> counts;
  std::vector<cv::Vec4i> segments;
  quorvane::direction::detectSegmentsWithFallingVotes(
    [&](const HoughAttempt & a, std::vector<cv::Vec4i> & out) {
      cv::HoughLinesP(edges, out, 1.0, CV_PI / 180, a.votes, a.minLength, a.maxGap);
      counts.push_back(out.size());
    },
    segments);
  EXPECT_EQ(counts, (std::vector<size_t>{3, 4}));
}

// ------------------------------------------------------------ main direction

struct WallCase
{
  double degrees;
  int bin;
  double tolerance;  ///< degrees
};

void PrintTo(const WallCase & c, std::ostream * os) { *os << c.degrees << " deg"; }

class MainDirection : public ::testing::TestWithParam<WallCase>
{
};

TEST_P(MainDirection, SyntheticRoomGivesItsWallDirection)
{
  const WallCase wall = GetParam();
  const double dir = Rotator().computeImageMainDirection(roomMap(wall.degrees));
  EXPECT_EQ(directionBin(dir), wall.bin);
  EXPECT_NEAR(dir, rad(wall.degrees), rad(wall.tolerance));
}

INSTANTIATE_TEST_SUITE_P(
  Walls, MainDirection,
  ::testing::Values(
    WallCase{0, 0, 0}, WallCase{17, 3, 0.5}, WallCase{45, 9, 0}, WallCase{90, 18, 0},
    WallCase{178, 35, 0.5}));

TEST(MainDirectionOf, SampleFloorPlanAtSeventeenDegrees)
{
  const cv::Mat plan = quorvane::tools::makeSampleFloorPlan({600, 600}, 17.0, 3);
  EXPECT_NEAR(Rotator().computeImageMainDirection(plan), rad(17), rad(1));
}

TEST(MainDirectionOf, AllZeroImageIsZero)
{
  EXPECT_EQ(Rotator().computeImageMainDirection(cv::Mat::zeros(50, 60, CV_8UC1)), 0.0);
}

TEST(MainDirectionOf, SegmentsFoundOnlyAtTheFifthAttemptAreUsed)
{
  // The Canny outline of a 6 x 6 block has no straight run of 8 pixels, so
  // only the last attempt (votes 4, minimum length 4) finds segments, and
  // fewer than four: the cut top-left corner (16, 20)-(20, 16), 4 sqrt 2 long
  // at 3 pi / 4, and the right side (20, 15)-(20, 20), 5 long at pi / 2. The
  // diagonal is the longer, so its bin wins.
  cv::Mat img = cv::Mat::zeros(40, 40, CV_8UC1);
  cv::rectangle(img, cv::Rect(15, 15, 6, 6), cv::Scalar(255), cv::FILLED);
  EXPECT_NEAR(Rotator().computeImageMainDirection(img), 3 * kPi / 4, 1e-12);
}

TEST(MainDirectionOf, NonEightBitImageThrows)
{
  EXPECT_THROW(
    Rotator().computeImageMainDirection(cv::Mat::zeros(20, 20, CV_32FC1)), cv::Exception);
}

}  // namespace

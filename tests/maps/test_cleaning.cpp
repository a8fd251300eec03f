// Small-region cleaning on hand-drawn images whose answers are counted by hand.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "expect_cv_error.hpp"
#include "quorvane_nav2_maps/cleaning.hpp"

namespace
{

using quorvane::maps::removeSmallRegions;

/// An image from rows of characters: '.' free (255), '#' obstacle (0), '?' 205.
cv::Mat draw(const std::vector<std::string> & rows)
{
  cv::Mat img(static_cast<int>(rows.size()), static_cast<int>(rows[0].size()), CV_8UC1);
  for (int y = 0; y < img.rows; ++y) {
    for (int x = 0; x < img.cols; ++x) {
      const char c = rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)];
      img.at<uchar>(y, x) = c == '.' ? 255 : c == '?' ? 205 : 0;
    }
  }
  return img;
}

struct Case
{
  const char * name;
  std::vector<std::string> in;
  std::int64_t minArea;
  std::vector<std::string> out;
  std::int64_t specks, islands, freed, blocked;
};

class Cleaning : public ::testing::TestWithParam<Case>
{
};

TEST_P(Cleaning, GivesTheHandCountedResult)
{
  const Case & c = GetParam();
  cv::Mat cleaned;
  const auto counts = removeSmallRegions(draw(c.in), cleaned, c.minArea);
  EXPECT_EQ(cv::countNonZero(cleaned != draw(c.out)), 0) << c.name;
  EXPECT_EQ(counts.obstacleSpecks, c.specks);
  EXPECT_EQ(counts.freeIslands, c.islands);
  EXPECT_EQ(counts.pixelsFreed, c.freed);
  EXPECT_EQ(counts.pixelsBlocked, c.blocked);
}

INSTANTIATE_TEST_SUITE_P(
  Table, Cleaning,
  ::testing::Values(
    // A 2-pixel speck goes; the obstacle pixels that touch the wall frame
    // are part of its region and stay.
    Case{
      "specks",
      {"######", "#....#", "#.#..#", "#.#.##", "#...##", "######"},
      3,
      {"######", "#....#", "#....#", "#...##", "#...##", "######"},
      1,
      0,
      2,
      0},
    // An isolated speck of exactly the minimum area stays, a smaller one goes.
    Case{
      "speck_at_minimum",
      {"########", "#......#", "#.##.#.#", "#......#", "########"},
      2,
      {"########", "#......#", "#.##...#", "#......#", "########"},
      1,
      0,
      1,
      0},
    // Obstacles touching at a corner only are separate (4-connected) specks.
    Case{
      "diagonal_obstacles",
      {"#######", "#.....#", "#.#...#", "#..#..#", "#.....#", "#######"},
      2,
      {"#######", "#.....#", "#.....#", "#.....#", "#.....#", "#######"},
      2,
      0,
      2,
      0},
    // Free pixels touching at a corner are one (8-connected) island of 2.
    Case{
      "diagonal_free",
      {"#####", "#.###", "##.##", "#####", "###.#"},
      2,
      {"#####", "#.###", "##.##", "#####", "#####"},
      0,
      1,
      0,
      1},
    // The speck inside a small island is freed first, then the whole island
    // (now 9 pixels) is still under 10 and goes.
    Case{
      "speck_in_island",
      {"#######", "#...###", "#.#.###", "#...###", "#######"},
      10,
      {"#######", "#######", "#######", "#######", "#######"},
      1,
      1,
      1,
      9},
    // Off: grey counts as an obstacle, nothing else changes.
    Case{"off", {"..?", ".#.", "..."}, 1, {"..#", ".#.", "..."}, 0, 0, 0, 0}),
  [](const ::testing::TestParamInfo<Case> & p) { return std::string(p.param.name); });

TEST(CleaningInput, InPlaceAndView)
{
  cv::Mat big = draw({"######", "#....#", "#.#..#", "#....#", "######"});
  cv::Mat view = big(cv::Rect(1, 1, 4, 3));  // the free room with its speck, no walls
  removeSmallRegions(view, view, 2);
  EXPECT_EQ(cv::countNonZero(view), 12);
}

TEST(CleaningInput, BadInputThrowsBeforeTouchingTheOutput)
{
  const int dims[] = {3, 3, 3};
  const std::vector<std::pair<cv::Mat, std::int64_t>> bad = {
    {cv::Mat(4, 4, CV_8UC3), 4}, {cv::Mat(4, 4, CV_16UC1), 4}, {cv::Mat(3, dims, CV_8UC1), 4}};
  for (const auto & b : bad) {
    cv::Mat out(2, 2, CV_8UC1, cv::Scalar(9));
    quorvane::test::expectCvError(
      [&] { removeSmallRegions(b.first, out, b.second); }, cv::Error::StsUnsupportedFormat);
    EXPECT_EQ(cv::countNonZero(out != 9), 0);
  }
  cv::Mat out(2, 2, CV_8UC1, cv::Scalar(9));
  quorvane::test::expectCvError(
    [&] { removeSmallRegions(cv::Mat(4, 4, CV_8UC1), out, -1); }, cv::Error::StsOutOfRange);
  EXPECT_EQ(cv::countNonZero(out != 9), 0);
}

}  // namespace

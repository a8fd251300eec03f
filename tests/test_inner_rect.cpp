// The inner rectangle: the stages in the rotated frame on hand-made images
// where every number can be written down, the rectangle search against a
// brute-force oracle, and the public method on whole maps.
#include <gtest/gtest.h>

#include "expect_cv_error.hpp"

#include <climits>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "Rotator.hpp"
#include "get_special_points.hpp"
#include "image_scan.hpp"
#include "inner_rect.hpp"
#include "sample_floor_plan.hpp"

using quorvane::image_scan::PixelBox;
using quorvane::inner_rect::CellGrid;
using quorvane::inner_rect::CellRect;
using quorvane::inner_rect::CellSizes;

namespace
{

using quorvane::test::expectCvError;

using Outline = std::vector<cv::Point2f>;

/// A rows x cols image of zeros with 255 over columns x0..x1, rows y0..y1
/// (inclusive).
cv::Mat imageWithBlock(int rows, int cols, int x0, int x1, int y0, int y1)
{
  cv::Mat image = cv::Mat::zeros(rows, cols, CV_8UC1);
  image(cv::Rect(x0, y0, x1 - x0 + 1, y1 - y0 + 1)).setTo(cv::Scalar(255));
  return image;
}

Outline outline(std::initializer_list<cv::Point2f> points) { return Outline(points); }

std::optional<Outline> searchRotatedFrame(get_special_points & g, const cv::Mat & rotated, int cell)
{
  return quorvane::inner_rect::innerRectOutlineInRotatedFrame(rotated, {cell, cell / 2}, g.mask);
}

bool sameContent(const cv::Mat & a, const cv::Mat & b)
{
  return a.size() == b.size() && a.type() == b.type() &&
         (a.empty() || cv::countNonZero(a != b) == 0);
}

/// Passing cells of a grid, row-major, for the search tests.
struct PassGrid
{
  int rows;
  int cols;
  std::vector<int> pass;  // 1 = the cell's test succeeded

  bool at(int r, int c) const
  {
    return pass
             [static_cast<std::size_t>(r) * static_cast<std::size_t>(cols) +
              static_cast<std::size_t>(c)] != 0;
  }

  /// Run length read literally: passing cells counted leftwards from (r, c).
  int run(int r, int c) const
  {
    int k = 0;
    while (c - k >= 0 && at(r, c - k)) {
      ++k;
    }
    return k;
  }

  CellGrid grid() const
  {
    CellGrid g;
    g.rows = rows;
    g.cols = cols;
    for (int r = 0; r < rows; ++r) {
      for (int c = 0; c < cols; ++c) {
        g.runLengths.push_back(run(r, c));
      }
    }
    return g;
  }
};

/// Every rectangle of passing cells; the largest wins, ties go to the smaller
/// right column, then to the row at which the search reaches it: the first
/// row of the block whose run length in the right column equals the width.
CellRect bruteForceLargestRectangle(const PassGrid & p)
{
  CellRect best;
  std::tuple<int, int> bestKey{INT_MAX, INT_MAX};
  for (int top = 0; top < p.rows; ++top) {
    for (int bottom = top + 1; bottom <= p.rows; ++bottom) {
      for (int left = 0; left < p.cols; ++left) {
        for (int right = left; right < p.cols; ++right) {
          bool allPass = true;
          for (int r = top; r < bottom && allPass; ++r) {
            for (int c = left; c <= right && allPass; ++c) {
              allPass = p.at(r, c);
            }
          }
          if (!allPass) {
            continue;
          }
          const int width = right - left + 1;
          int reached = top;
          while (reached < bottom && p.run(reached, right) != width) {
            ++reached;
          }
          const std::int64_t area = std::int64_t{width} * (bottom - top);
          const std::tuple<int, int> key{right, reached};
          if (area > best.area || (area == best.area && key < bestKey)) {
            best = {area, top, bottom, left, right};
            bestKey = key;
          }
        }
      }
    }
  }
  return best;
}

void expectSameRect(const CellRect & actual, const CellRect & expected)
{
  EXPECT_EQ(actual.area, expected.area);
  EXPECT_EQ(actual.topRow, expected.topRow);
  EXPECT_EQ(actual.bottomRow, expected.bottomRow);
  EXPECT_EQ(actual.leftCol, expected.leftCol);
  EXPECT_EQ(actual.rightCol, expected.rightCol);
}

}  // namespace

// ---------------------------------------------------------------- worked example

// Block at columns 10-49, rows 20-39, cell size 10 (cell 10, half 5).
class InnerRectWorkedExample : public ::testing::Test
{
protected:
  const cv::Mat rotated = imageWithBlock(60, 70, 10, 49, 20, 39);
  const CellSizes sizes{10, 5};
};

TEST_F(InnerRectWorkedExample, BoxIsTheBlock)
{
  const std::optional<PixelBox> box = quorvane::image_scan::boxOf255Pixels(rotated);
  ASSERT_TRUE(box);
  EXPECT_EQ(box->minX, 10);
  EXPECT_EQ(box->maxX, 49);
  EXPECT_EQ(box->minY, 20);
  EXPECT_EQ(box->maxY, 39);
}

TEST_F(InnerRectWorkedExample, ErosionShrinksTheBlockByHalfACell)
{
  const cv::Mat eroded = quorvane::inner_rect::erodeByHalfCell(rotated, sizes.half);
  EXPECT_TRUE(sameContent(eroded, imageWithBlock(60, 70, 15, 44, 25, 34)));
}

TEST_F(InnerRectWorkedExample, GridHasTwoRowsOfFourCentres)
{
  const CellGrid grid = quorvane::inner_rect::layCellGrid({10, 20, 49, 39}, sizes);
  ASSERT_EQ(grid.rows, 2);
  ASSERT_EQ(grid.cols, 4);
  const std::vector<int> xs{15, 25, 35, 45};
  const std::vector<int> ys{25, 35};
  for (int r = 0; r < 2; ++r) {
    for (int c = 0; c < 4; ++c) {
      EXPECT_EQ(grid.centre(r, c), cv::Point(xs[c], ys[r]));
    }
  }
}

TEST_F(InnerRectWorkedExample, EveryCellPassesAndRunLengthsCountFromOne)
{
  const cv::Mat eroded = quorvane::inner_rect::erodeByHalfCell(rotated, sizes.half);
  CellGrid grid = quorvane::inner_rect::layCellGrid({10, 20, 49, 39}, sizes);
  get_special_points g;
  quorvane::inner_rect::testCellsOfGrid(eroded, grid, g.mask);
  EXPECT_EQ(grid.runLengths, (std::vector<int>{1, 2, 3, 4, 1, 2, 3, 4}));
}

TEST_F(InnerRectWorkedExample, BestBlockIsAllEightCellsFoundAtColumn3)
{
  CellGrid grid = quorvane::inner_rect::layCellGrid({10, 20, 49, 39}, sizes);
  grid.runLengths = {1, 2, 3, 4, 1, 2, 3, 4};
  expectSameRect(quorvane::inner_rect::largestRectangleOfPassingCells(grid), {8, 0, 2, 0, 3});
}

TEST_F(InnerRectWorkedExample, OutlineRunsThroughTheCornerCellCentres)
{
  get_special_points g;
  const std::optional<Outline> result =
    quorvane::inner_rect::innerRectOutlineInRotatedFrame(rotated, sizes, g.mask);
  ASSERT_TRUE(result);
  EXPECT_EQ(*result, outline({{15, 25}, {45, 25}, {45, 35}, {15, 35}, {15, 25}}));
  for (const cv::Point2f & p : *result) {
    EXPECT_EQ(rotated.at<uchar>(cv::Point(p)), 255) << p;
  }
}

TEST_F(InnerRectWorkedExample, MaskHoldsTheWindowOfTheLastCellPastTheShortcut)
{
  // The last tested cell, (45, 35), lies outside the eroded block; its window
  // (columns 40-49, rows 30-39) meets the block at columns 40-44, rows 30-34.
  get_special_points g;
  ASSERT_TRUE(quorvane::inner_rect::innerRectOutlineInRotatedFrame(rotated, sizes, g.mask));
  cv::Mat expected = cv::Mat::zeros(10, 10, CV_8UC1);
  expected(cv::Rect(0, 0, 5, 5)).setTo(cv::Scalar(255));
  EXPECT_TRUE(sameContent(g.mask, expected));
}

// ---------------------------------------------------------------- stages

TEST(InnerRectBox, ImageWithout255HasNoBox)
{
  cv::Mat image(4, 5, CV_8UC1, cv::Scalar(254));
  EXPECT_FALSE(quorvane::image_scan::boxOf255Pixels(image));
  EXPECT_FALSE(quorvane::image_scan::boxOf255Pixels(cv::Mat()));
}

TEST(InnerRectBox, SinglePixelIsItsOwnBox)
{
  cv::Mat image = cv::Mat::zeros(4, 5, CV_8UC1);
  image.at<uchar>(3, 4) = 255;
  const std::optional<PixelBox> box = quorvane::image_scan::boxOf255Pixels(image);
  ASSERT_TRUE(box);
  EXPECT_EQ(
    std::make_tuple(box->minX, box->minY, box->maxX, box->maxY), std::make_tuple(4, 3, 4, 3));
}

TEST(InnerRectBox, WideImageIsNotLimitedByAStartValue)
{
  cv::Mat image = cv::Mat::zeros(3, 1000003, CV_8UC1);
  image.at<uchar>(1, 1000001) = 255;
  image.at<uchar>(2, 1000002) = 255;
  const std::optional<PixelBox> box = quorvane::image_scan::boxOf255Pixels(image);
  ASSERT_TRUE(box);
  EXPECT_EQ(
    std::make_tuple(box->minX, box->minY, box->maxX, box->maxY),
    std::make_tuple(1000001, 1, 1000002, 2));
}

TEST(InnerRectBox, MatchesTheLiteralScanOnRandomImagesAndViews)
{
  const unsigned seed = 77031;
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  for (int trial = 0; trial < 2000; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    cv::Mat parent(14, 14, CV_8UC1);
    const auto density = 1 + rng() % 40;
    for (int y = 0; y < 14; ++y) {
      for (int x = 0; x < 14; ++x) {
        const auto roll = rng() % 200;
        parent.at<uchar>(y, x) = roll < density ? 255 : (roll < 2 * density ? 254 : 0);
      }
    }
    const int x0 = static_cast<int>(rng() % 4);
    const int y0 = static_cast<int>(rng() % 4);
    const cv::Mat image =
      parent(cv::Rect(x0, y0, 1 + static_cast<int>(rng() % 10), 1 + static_cast<int>(rng() % 10)));
    bool any = false;
    PixelBox literal{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
    for (int y = 0; y < image.rows; ++y) {
      for (int x = 0; x < image.cols; ++x) {
        if (image.at<uchar>(y, x) == 255) {
          any = true;
          literal = {
            std::min(literal.minX, x), std::min(literal.minY, y), std::max(literal.maxX, x),
            std::max(literal.maxY, y)};
        }
      }
    }
    const std::optional<PixelBox> box = quorvane::image_scan::boxOf255Pixels(image);
    ASSERT_EQ(box.has_value(), any);
    if (any) {
      EXPECT_EQ(
        std::make_tuple(box->minX, box->minY, box->maxX, box->maxY),
        std::make_tuple(literal.minX, literal.minY, literal.maxX, literal.maxY));
    }
  }
}

TEST(InnerRectEarlyEnd, NeedsACentreRowStrictlyAboveMaxY)
{
  EXPECT_FALSE(quorvane::inner_rect::hasRowOfCellCentres({0, 20, 50, 25}, 5));
  EXPECT_TRUE(quorvane::inner_rect::hasRowOfCellCentres({0, 20, 50, 26}, 5));
  EXPECT_FALSE(quorvane::inner_rect::hasRowOfCellCentres({0, 7, 50, 7}, 0));
  EXPECT_FALSE(quorvane::inner_rect::hasRowOfCellCentres({0, INT_MAX - 1, 50, INT_MAX}, 32767));
}

TEST(InnerRectErosion, EqualsTheDefaultKernelIteratedHalfTimes)
{
  const unsigned seed = 4711;
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  for (int trial = 0; trial < 300; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    const int rows = 1 + static_cast<int>(rng() % 24);
    const int cols = 1 + static_cast<int>(rng() % 24);
    cv::Mat image(rows, cols, CV_8UC1);
    for (int y = 0; y < rows; ++y) {
      for (int x = 0; x < cols; ++x) {
        image.at<uchar>(y, x) = rng() % 6 == 0 ? 0 : 255;
      }
    }
    const int half = static_cast<int>(rng() % 6);
    cv::Mat reference;
    cv::erode(image, reference, cv::Mat(), cv::Point(-1, -1), half);
    EXPECT_TRUE(sameContent(quorvane::inner_rect::erodeByHalfCell(image, half), reference));
  }
}

TEST(InnerRectGrid, BoundsAreStrict)
{
  // Centres 2, 7 for maxX 10 and maxX 8; only 2 when maxX is 7.
  EXPECT_EQ(quorvane::inner_rect::layCellGrid({0, 0, 10, 10}, {5, 2}).cols, 2);
  EXPECT_EQ(quorvane::inner_rect::layCellGrid({0, 0, 8, 8}, {5, 2}).rows, 2);
  EXPECT_EQ(quorvane::inner_rect::layCellGrid({0, 0, 7, 7}, {5, 2}).cols, 1);
  EXPECT_EQ(quorvane::inner_rect::layCellGrid({0, 0, 2, 7}, {5, 2}).cols, 0);
}

TEST(InnerRectGrid, HugeCoordinatesDoNotOverflow)
{
  const CellGrid grid = quorvane::inner_rect::layCellGrid(
    {INT_MAX - 10, INT_MAX - 20, INT_MAX - 1, INT_MAX}, {65535, 32767});
  EXPECT_EQ(grid.cols, 0);
  EXPECT_EQ(grid.rows, 0);
  const CellGrid small =
    quorvane::inner_rect::layCellGrid({INT_MAX - 10, 0, INT_MAX - 1, 9}, {3, 1});
  EXPECT_EQ(small.cols, 3);  // INT_MAX - 9, - 6, - 3
  EXPECT_EQ(small.centre(0, 2), cv::Point(INT_MAX - 3, 1));
}

TEST(InnerRectCellSizes, FloorThenHalf)
{
  const std::vector<std::tuple<double, int, int>> cases{
    {1.0, 1, 0}, {1.999, 1, 0},           {2.0, 2, 1}, {7.0, 7, 3}, {7.9, 7, 3},
    {8.5, 8, 4}, {65535.99, 65535, 32767}};
  for (const auto & [cellSize, cell, half] : cases) {
    const CellSizes sizes = quorvane::inner_rect::checkedCellSizes(cellSize);
    EXPECT_EQ(sizes.cell, cell) << cellSize;
    EXPECT_EQ(sizes.half, half) << cellSize;
  }
}

// ---------------------------------------------------------------- rectangle search

TEST(InnerRectSearch, HolesSplitTheRunsAndTheBestBlockAvoidsThem)
{
  const PassGrid p{
    3,
    5,
    {1, 1, 0, 1, 1,  //
     1, 1, 1, 1, 0,  //
     0, 1, 1, 1, 1}};
  const CellGrid grid = p.grid();
  EXPECT_EQ(grid.runLengths, (std::vector<int>{1, 2, 0, 1, 2, 1, 2, 3, 4, 0, 0, 1, 2, 3, 4}));
  expectSameRect(quorvane::inner_rect::largestRectangleOfPassingCells(grid), {6, 1, 3, 1, 3});
}

TEST(InnerRectSearch, FirstColumnCanBePartOfTheBlock)
{
  const PassGrid p{
    2,
    3,
    {1, 1, 0,  //
     1, 1, 0}};
  expectSameRect(quorvane::inner_rect::largestRectangleOfPassingCells(p.grid()), {4, 0, 2, 0, 1});
}

TEST(InnerRectSearch, EqualAreasGoToTheLeftmostRightColumn)
{
  const PassGrid p{
    2,
    5,
    {1, 1, 0, 1, 1,  //
     0, 0, 0, 1, 1}};
  // Columns 3-4 over both rows (area 4) beats columns 0-1 (area 2).
  expectSameRect(quorvane::inner_rect::largestRectangleOfPassingCells(p.grid()), {4, 0, 2, 3, 4});
  const PassGrid tie{1, 5, {1, 1, 0, 1, 1}};
  expectSameRect(quorvane::inner_rect::largestRectangleOfPassingCells(tie.grid()), {2, 0, 1, 0, 1});
}

TEST(InnerRectSearch, EqualAreasInOneColumnGoToTheFirstRowFromTheTop)
{
  const PassGrid p{
    3,
    2,
    {1, 1,  //
     0, 0,  //
     1, 1}};
  expectSameRect(quorvane::inner_rect::largestRectangleOfPassingCells(p.grid()), {2, 0, 1, 0, 1});
}

TEST(InnerRectSearch, TieInOneColumnGoesToTheFirstRowReachedNotTheHighestTop)
{
  // Column 14 holds run lengths 5, 15, 15, 3 x 7: the block rows 1-2 x 15
  // columns (reached at row 1) and the block rows 0-9 x 3 columns (reached at
  // row 3) both cover 30 cells; the first reached wins.
  PassGrid p{10, 15, std::vector<int>(150, 0)};
  const std::vector<int> runs{5, 15, 15, 3, 3, 3, 3, 3, 3, 3};
  for (int r = 0; r < 10; ++r) {
    for (int c = 15 - runs[r]; c < 15; ++c) {
      p.pass.at(static_cast<std::size_t>(r) * 15U + static_cast<std::size_t>(c)) = 1;
    }
  }
  expectSameRect(quorvane::inner_rect::largestRectangleOfPassingCells(p.grid()), {30, 1, 3, 0, 14});
  expectSameRect(bruteForceLargestRectangle(p), {30, 1, 3, 0, 14});
}

TEST(InnerRectSearch, NoPassingCellOrNoColumnGivesAreaZero)
{
  const PassGrid none{2, 3, std::vector<int>(6, 0)};
  expectSameRect(
    quorvane::inner_rect::largestRectangleOfPassingCells(none.grid()), {0, 0, 0, 0, 0});
  const PassGrid empty{4, 0, {}};
  expectSameRect(
    quorvane::inner_rect::largestRectangleOfPassingCells(empty.grid()), {0, 0, 0, 0, 0});
}

TEST(InnerRectSearch, MatchesBruteForceOnRandomGrids)
{
  const unsigned seed = 90210;
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  const std::vector<unsigned> densities{30, 60, 80, 95, 100};
  for (int trial = 0; trial < 3000; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    PassGrid p{1 + static_cast<int>(rng() % 7), 1 + static_cast<int>(rng() % 7), {}};
    const unsigned density = densities[rng() % densities.size()];
    for (int i = 0; i < p.rows * p.cols; ++i) {
      p.pass.push_back(rng() % 100 < density ? 1 : 0);
    }
    expectSameRect(
      quorvane::inner_rect::largestRectangleOfPassingCells(p.grid()),
      bruteForceLargestRectangle(p));
  }
}

// ---------------------------------------------------------------- whole rotated-frame search

TEST(InnerRectRotatedFrame, SingleRowGivesAFlatOutline)
{
  // Rows 20-31: one row of centres (y = 25; 35 is past maxY).
  get_special_points g;
  const std::optional<Outline> result =
    searchRotatedFrame(g, imageWithBlock(40, 60, 10, 49, 20, 31), 10);
  ASSERT_TRUE(result);
  EXPECT_EQ(*result, outline({{15, 25}, {45, 25}, {45, 25}, {15, 25}, {15, 25}}));
}

TEST(InnerRectRotatedFrame, SingleColumnGivesAVerticalOutline)
{
  // Columns 10-21: one column of centres (x = 15); rows give y = 25 .. 55.
  get_special_points g;
  const std::optional<Outline> result =
    searchRotatedFrame(g, imageWithBlock(70, 40, 10, 21, 20, 59), 10);
  ASSERT_TRUE(result);
  EXPECT_EQ(*result, outline({{15, 25}, {15, 25}, {15, 55}, {15, 55}, {15, 25}}));
}

TEST(InnerRectRotatedFrame, RowsWithoutCellsGiveNothingAndTestNoCell)
{
  get_special_points g;
  EXPECT_FALSE(searchRotatedFrame(g, imageWithBlock(70, 40, 10, 14, 20, 59), 10));
  EXPECT_TRUE(g.mask.empty());
}

TEST(InnerRectRotatedFrame, AreaTooLowForARowEndsEarlyWithoutTestingCells)
{
  get_special_points g;
  EXPECT_FALSE(searchRotatedFrame(g, imageWithBlock(40, 60, 10, 49, 20, 25), 10));
  EXPECT_TRUE(g.mask.empty());
}

TEST(InnerRectRotatedFrame, NoFreePixelGivesNothing)
{
  get_special_points g;
  EXPECT_FALSE(searchRotatedFrame(g, cv::Mat(30, 30, CV_8UC1, cv::Scalar(254)), 3));
  EXPECT_TRUE(g.mask.empty());
}

TEST(InnerRectRotatedFrame, NoPassingCellGivesNothing)
{
  // Two single pixels span the box; erosion by 2 removes both, so every
  // cell's window is empty.
  cv::Mat rotated = cv::Mat::zeros(30, 30, CV_8UC1);
  rotated.at<uchar>(2, 2) = 255;
  rotated.at<uchar>(27, 27) = 255;
  get_special_points g;
  EXPECT_FALSE(searchRotatedFrame(g, rotated, 5));
  EXPECT_TRUE(sameContent(g.mask, cv::Mat::zeros(5, 5, CV_8UC1)));
}

TEST(InnerRectRotatedFrame, CellSize1TestsSinglePixelsAndIncludesColumnMinX)
{
  cv::Mat rotated = imageWithBlock(8, 10, 3, 7, 2, 5);
  rotated.at<uchar>(7, 9) = 255;  // stretches the box to maxX 9, maxY 7
  get_special_points g;
  const std::optional<Outline> result = quorvane::inner_rect::innerRectOutlineInRotatedFrame(
    rotated, quorvane::inner_rect::checkedCellSizes(1.0), g.mask);
  ASSERT_TRUE(result);
  EXPECT_EQ(*result, outline({{3, 2}, {7, 2}, {7, 5}, {3, 5}, {3, 2}}));
}

TEST(InnerRectRotatedFrame, CellSize7Point9BehavesLike7)
{
  const cv::Mat rotated = imageWithBlock(80, 90, 10, 70, 12, 60);
  get_special_points a;
  get_special_points b;
  const auto fractional = quorvane::inner_rect::innerRectOutlineInRotatedFrame(
    rotated, quorvane::inner_rect::checkedCellSizes(7.9), a.mask);
  const auto whole = quorvane::inner_rect::innerRectOutlineInRotatedFrame(
    rotated, quorvane::inner_rect::checkedCellSizes(7.0), b.mask);
  ASSERT_TRUE(fractional);
  ASSERT_TRUE(whole);
  EXPECT_EQ(*fractional, *whole);
  // Centres x = 13 + 7k < 70, y = 15 + 7k < 60.
  EXPECT_EQ(*whole, outline({{13, 15}, {69, 15}, {69, 57}, {13, 57}, {13, 15}}));
  EXPECT_TRUE(sameContent(a.mask, b.mask));
}

TEST(InnerRectRotatedFrame, EqualBlocksStackedGoToTheTopOne)
{
  cv::Mat rotated = imageWithBlock(100, 60, 10, 49, 10, 29);
  rotated(cv::Rect(10, 60, 40, 20)).setTo(cv::Scalar(255));
  get_special_points g;
  const std::optional<Outline> result = searchRotatedFrame(g, rotated, 10);
  ASSERT_TRUE(result);
  EXPECT_EQ(*result, outline({{15, 15}, {45, 15}, {45, 25}, {15, 25}, {15, 15}}));
}

// ---------------------------------------------------------------- public method

namespace
{

const Outline kUntouched{{1.5F, 2.5F}, {3.5F, 4.5F}};

/// The map's rotation as getInnerRect makes it, and the rotated map.
struct Alignment
{
  cv::Mat matrix;
  cv::Mat rotated;
};

Alignment alignmentOf(const cv::Mat & map)
{
  Rotator rotator;
  Alignment a;
  cv::Rect bounds(0, 0, 0, 0);
  rotator.computeImageRotationMatrix(map, a.matrix, bounds, nullptr, 0.0);
  rotator.rotateImage(map, a.rotated, a.matrix, bounds);
  return a;
}

cv::Point2d forward(const cv::Mat & m, const cv::Point2f & p)
{
  return {
    m.at<double>(0, 0) * p.x + m.at<double>(0, 1) * p.y + m.at<double>(0, 2),
    m.at<double>(1, 0) * p.x + m.at<double>(1, 1) * p.y + m.at<double>(1, 2)};
}

/// Literal box of the 255 pixels.
PixelBox literalBox(const cv::Mat & image)
{
  PixelBox box{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
  for (int y = 0; y < image.rows; ++y) {
    for (int x = 0; x < image.cols; ++x) {
      if (image.at<uchar>(y, x) == 255) {
        box = {
          std::min(box.minX, x), std::min(box.minY, y), std::max(box.maxX, x),
          std::max(box.maxY, y)};
      }
    }
  }
  return box;
}

/// The outline mapped forward into the rotated frame, each point checked to
/// be a cell centre minX + half + i * cell, minY + half + j * cell of the grid
/// read from the rotated map and to lie in its free area; returns the grid
/// indices (i, j) of the five points.
std::vector<cv::Point> gridIndicesOfOutline(
  const Outline & outlineInMap, const Alignment & a, int cell)
{
  const int half = cell / 2;
  const PixelBox box = literalBox(a.rotated);
  std::vector<cv::Point> indices;
  for (const cv::Point2f & p : outlineInMap) {
    const cv::Point2d q = forward(a.matrix, p);
    const double i = (q.x - box.minX - half) / cell;
    const double j = (q.y - box.minY - half) / cell;
    const cv::Point index(static_cast<int>(std::lround(i)), static_cast<int>(std::lround(j)));
    EXPECT_NEAR(q.x, box.minX + half + index.x * cell, 2e-3) << p;
    EXPECT_NEAR(q.y, box.minY + half + index.y * cell, 2e-3) << p;
    EXPECT_GE(index.x, 0);
    EXPECT_GE(index.y, 0);
    EXPECT_LT(box.minX + half + index.x * cell, box.maxX);
    EXPECT_LT(box.minY + half + index.y * cell, box.maxY);
    EXPECT_EQ(a.rotated.at<uchar>(cv::Point(cvRound(q.x), cvRound(q.y))), 255) << q;
    indices.push_back(index);
  }
  return indices;
}

void expectClosedAxisAlignedRectangle(const std::vector<cv::Point> & idx)
{
  ASSERT_EQ(idx.size(), 5U);
  EXPECT_EQ(idx[0], idx[4]);
  EXPECT_EQ(idx[0].y, idx[1].y);
  EXPECT_EQ(idx[1].x, idx[2].x);
  EXPECT_EQ(idx[2].y, idx[3].y);
  EXPECT_EQ(idx[3].x, idx[0].x);
  EXPECT_LE(idx[0].x, idx[1].x);
  EXPECT_LE(idx[0].y, idx[3].y);
}

void expectInsideFreeArea(const cv::Mat & map, const Outline & points)
{
  for (const cv::Point2f & p : points) {
    EXPECT_EQ(map.at<uchar>(cv::Point(cvRound(p.x), cvRound(p.y))), 255) << p;
  }
}

/// A free rectangle of the given size, centre and angle (degrees) on a
/// blocked map.
cv::Mat mapWithRoom(cv::Size mapSize, cv::Point2f centre, cv::Size2f roomSize, float angle)
{
  cv::Mat map = cv::Mat::zeros(mapSize, CV_8UC1);
  cv::Point2f corners[4];
  cv::RotatedRect(centre, roomSize, angle).points(corners);
  std::vector<cv::Point> polygon;
  for (const cv::Point2f & c : corners) {
    polygon.emplace_back(cvRound(c.x), cvRound(c.y));
  }
  cv::fillConvexPoly(map, polygon, cv::Scalar(255));
  return map;
}

}  // namespace

class InnerRectBadCellSize : public ::testing::TestWithParam<double>
{
};

TEST_P(InnerRectBadCellSize, ThrowsOutOfRangeWithOutputUntouched)
{
  const cv::Mat map = imageWithBlock(40, 40, 5, 34, 5, 34);
  get_special_points g;
  Outline rectPath = kUntouched;
  const double cellSize = GetParam();
  expectCvError([&] { g.getInnerRect(map, rectPath, cellSize); }, cv::Error::StsOutOfRange);
  EXPECT_EQ(rectPath, kUntouched);
  EXPECT_TRUE(g.mask.empty());
}

INSTANTIATE_TEST_SUITE_P(
  NotFiniteBelow1OrTooLarge, InnerRectBadCellSize,
  ::testing::Values(
    std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
    -std::numeric_limits<double>::infinity(), 0.0, 0.999, -3.0, 65536.0, 1e300));

TEST(InnerRect, LargestCellSizeIsAcceptedAndEndsEarlyOnASmallMap)
{
  const cv::Mat map = imageWithBlock(40, 40, 5, 34, 5, 34);
  get_special_points g;
  Outline rectPath = kUntouched;
  g.getInnerRect(map, rectPath, 65535.99);
  EXPECT_EQ(rectPath, kUntouched);
}

class InnerRectBadMapType : public ::testing::TestWithParam<int>
{
};

TEST_P(InnerRectBadMapType, ThrowsUnsupportedFormatWithOutputUntouched)
{
  const cv::Mat map(20, 20, GetParam(), cv::Scalar::all(255));
  get_special_points g;
  Outline rectPath = kUntouched;
  expectCvError([&] { g.getInnerRect(map, rectPath, 3.0); }, cv::Error::StsUnsupportedFormat);
  EXPECT_EQ(rectPath, kUntouched);
}

INSTANTIATE_TEST_SUITE_P(
  NotByteSingleChannel, InnerRectBadMapType,
  ::testing::Values(CV_8UC3, CV_16UC1, CV_32FC1, CV_8SC1));

TEST(InnerRect, CellSizeIsCheckedBeforeTypeAndTypeBeforeEmptiness)
{
  get_special_points g;
  Outline rectPath = kUntouched;
  const cv::Mat wrongType(5, 5, CV_32FC1, cv::Scalar(255));
  expectCvError([&] { g.getInnerRect(wrongType, rectPath, 0.5); }, cv::Error::StsOutOfRange);
  const cv::Mat emptyWrongType(0, 0, CV_32FC1);
  expectCvError(
    [&] { g.getInnerRect(emptyWrongType, rectPath, 3.0); }, cv::Error::StsUnsupportedFormat);
  EXPECT_EQ(rectPath, kUntouched);
}

TEST(InnerRect, EmptyMapLeavesOutputUntouched)
{
  get_special_points g;
  Outline rectPath = kUntouched;
  EXPECT_NO_THROW(g.getInnerRect(cv::Mat(), rectPath, 3.0));
  EXPECT_EQ(rectPath, kUntouched);
}

TEST(InnerRect, MapWithoutFreePixelLeavesOutputUntouched)
{
  get_special_points g;
  Outline rectPath = kUntouched;
  g.getInnerRect(cv::Mat(50, 60, CV_8UC1, cv::Scalar(200)), rectPath, 5.0);
  EXPECT_EQ(rectPath, kUntouched);
  EXPECT_TRUE(g.mask.empty());
}

TEST(InnerRect, MapWithNoPassingCellLeavesOutputUntouched)
{
  // Free pixels only on a sparse lattice: the erosion leaves nothing.
  cv::Mat map = cv::Mat::zeros(60, 60, CV_8UC1);
  for (int y = 5; y < 55; y += 6) {
    for (int x = 5; x < 55; x += 6) {
      map.at<uchar>(y, x) = 255;
    }
  }
  get_special_points g;
  Outline rectPath = kUntouched;
  g.getInnerRect(map, rectPath, 5.0);
  EXPECT_EQ(rectPath, kUntouched);
}

TEST(InnerRect, AxisAlignedRoomIsTiledFromCornerCellToCornerCell)
{
  // Even a main direction of 0 moves the map by half a pixel, and the
  // resampling grows the room by a pixel on two sides: the grid is read from
  // the rotated map, not from the drawing.
  const cv::Mat map = imageWithBlock(120, 160, 20, 139, 30, 89);
  const Alignment a = alignmentOf(map);
  get_special_points g;
  Outline rectPath = kUntouched;
  g.getInnerRect(map, rectPath, 10.0);
  ASSERT_EQ(rectPath.size(), 5U);
  const std::vector<cv::Point> idx = gridIndicesOfOutline(rectPath, a, 10);
  expectClosedAxisAlignedRectangle(idx);
  // Every cell passes: the block spans the whole grid.
  const PixelBox box = literalBox(a.rotated);
  const int cols = (box.maxX - (box.minX + 5) - 1) / 10 + 1;
  const int rows = (box.maxY - (box.minY + 5) - 1) / 10 + 1;
  EXPECT_EQ(idx[0], cv::Point(0, 0));
  EXPECT_EQ(idx[2], cv::Point(cols - 1, rows - 1));
  expectInsideFreeArea(map, rectPath);
}

TEST(InnerRect, TurnedRoomComesBackOnItsCellCentresInsideTheRoom)
{
  const cv::Mat map = mapWithRoom({320, 300}, {160.0F, 150.0F}, {220.0F, 110.0F}, 30.0F);
  const Alignment a = alignmentOf(map);
  get_special_points g;
  Outline rectPath;
  g.getInnerRect(map, rectPath, 12.5);
  ASSERT_EQ(rectPath.size(), 5U);
  const std::vector<cv::Point> idx = gridIndicesOfOutline(rectPath, a, 12);
  expectClosedAxisAlignedRectangle(idx);
  // Most of the room is covered: at least 15 x 7 of its about 18 x 9 cells.
  EXPECT_GE(idx[1].x - idx[0].x + 1, 15);
  EXPECT_GE(idx[3].y - idx[0].y + 1, 7);
  expectInsideFreeArea(map, rectPath);
}

TEST(InnerRect, NonEmptyOutputIsReplacedByFiveClosedPoints)
{
  const cv::Mat map = imageWithBlock(80, 80, 10, 69, 10, 69);
  get_special_points g;
  Outline rectPath(7, cv::Point2f(-1.0F, -1.0F));
  g.getInnerRect(map, rectPath, 8.0);
  ASSERT_EQ(rectPath.size(), 5U);
  EXPECT_EQ(rectPath.front(), rectPath.back());
  expectInsideFreeArea(map, rectPath);
}

TEST(InnerRect, MaskAfterTheCallIsThatOfTheLastCellPastTheShortcut)
{
  // Block at columns 10-49, rows 20-39 of a 70 x 60 map; cell 10, half 5.
  // Main direction 0 about the pivot (29, 29) with a 71 x 61 window shifts
  // the map by (6.5, 1.5): the rotated block spans columns 16-56, rows 21-41
  // without its four quarter-covered corners. Eroded by 5 it spans columns
  // 21-51, rows 26-36, again without its corners. The grid centres are
  // x = 21, 31, 41, 51 and y = 26, 36; only the corner cells miss their
  // centre, the last of them (51, 36), whose window covers columns 46-55,
  // rows 31-40 and so meets the eroded block in its top-left 6 x 6 pixels
  // less their bottom-right corner. All eight cells pass.
  const cv::Mat map = imageWithBlock(60, 70, 10, 49, 20, 39);
  get_special_points g;
  Outline rectPath;
  g.getInnerRect(map, rectPath, 10.0);
  cv::Mat expected = cv::Mat::zeros(10, 10, CV_8UC1);
  expected(cv::Rect(0, 0, 6, 6)).setTo(cv::Scalar(255));
  expected.at<uchar>(5, 5) = 0;
  EXPECT_TRUE(sameContent(g.mask, expected)) << g.mask;
  // The corner cell centres, shifted back by (6.5, 1.5).
  EXPECT_EQ(
    rectPath,
    outline({{14.5F, 24.5F}, {44.5F, 24.5F}, {44.5F, 34.5F}, {14.5F, 34.5F}, {14.5F, 24.5F}}));
}

TEST(InnerRect, CellSize7Point9GivesTheSameOutlineAs7)
{
  const cv::Mat map = mapWithRoom({200, 200}, {100.0F, 100.0F}, {150.0F, 90.0F}, 10.0F);
  get_special_points a;
  get_special_points b;
  Outline fractional;
  Outline whole;
  a.getInnerRect(map, fractional, 7.9);
  b.getInnerRect(map, whole, 7.0);
  ASSERT_EQ(whole.size(), 5U);
  EXPECT_EQ(fractional, whole);
  EXPECT_TRUE(sameContent(a.mask, b.mask));
}

TEST(InnerRect, SampleFloorPlanOutlineLiesInTheFreeArea)
{
  const cv::Mat map = quorvane::tools::makeSampleFloorPlan({500, 400}, 20.0, 7U);
  const Alignment a = alignmentOf(map);
  get_special_points g;
  Outline rectPath;
  g.getInnerRect(map, rectPath, 6.0);
  ASSERT_EQ(rectPath.size(), 5U);
  expectClosedAxisAlignedRectangle(gridIndicesOfOutline(rectPath, a, 6));
  expectInsideFreeArea(map, rectPath);
}

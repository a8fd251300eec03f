// The coverage by blocks of cells: hand-made rooms whose blocks can be
// written down, the greedy sequence against a brute-force search, blocks that
// never overlap, and bad input. (That the first block is getInnerRect's is
// checked with the aligned map.)
#include <gtest/gtest.h>

#include "expect_cv_error.hpp"

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "cell_cover.hpp"
#include "inner_rect.hpp"
#include "quorvane_nav2_maps/coverage.hpp"
#include "sample_floor_plan.hpp"

namespace
{

using quorvane::inner_rect::CellGrid;
using quorvane::inner_rect::CellRect;
using quorvane::maps::Coverage;
using quorvane::maps::coverageRectangles;

constexpr int kCell = 10;
constexpr int kMargin = 20;

/// A block of free cells: column, row, columns, rows (in cells).
using Block = cv::Rect;

/// A map of 0 with every block's cells 255, cell (0, 0) at (kMargin, kMargin):
/// walls along the image axes, so the grid lies on the blocks' cells.
cv::Mat roomOfBlocks(const std::vector<Block> & blocks)
{
  int cols = 0;
  int rows = 0;
  for (const Block & b : blocks) {
    cols = std::max(cols, b.x + b.width);
    rows = std::max(rows, b.y + b.height);
  }
  cv::Mat map(rows * kCell + 2 * kMargin, cols * kCell + 2 * kMargin, CV_8UC1, cv::Scalar(0));
  for (const Block & b : blocks) {
    map(cv::Rect(kMargin + b.x * kCell, kMargin + b.y * kCell, b.width * kCell, b.height * kCell))
      .setTo(255);
  }
  return map;
}

/// Block sizes as (shorter side, longer side), sorted: independent of whether
/// the map is turned by a quarter or half turn onto its main direction.
std::vector<std::pair<int, int>> sortedSizes(const Coverage & coverage)
{
  std::vector<std::pair<int, int>> sizes;
  for (const auto & r : coverage.rectangles) {
    sizes.emplace_back(
      std::min(r.cells.width, r.cells.height), std::max(r.cells.width, r.cells.height));
  }
  std::sort(sizes.begin(), sizes.end());
  return sizes;
}

struct RoomCase
{
  std::string name;
  std::vector<Block> blocks;
  int minCells;
  int maxRectangles;
  std::vector<std::pair<int, int>> expected;  ///< sorted as sortedSizes gives them
  std::int64_t passingCells;
};

// Worked by hand, cells of 10 px. L: a 10 x 3 arm over a 3 x 8 leg (30 > 24),
// the leg's 3 x 5 left. U: a 12 x 3 bar under two 3 x 7 legs (36 > 30). Ring:
// 12 x 10 with walls 2 cells thick, bars 12 x 2 then sides 2 x 6.
const std::vector<Block> kL = {{0, 0, 10, 3}, {0, 3, 3, 5}};
const std::vector<Block> kU = {{0, 7, 12, 3}, {0, 0, 3, 7}, {9, 0, 3, 7}};
const std::vector<Block> kRing = {{0, 0, 12, 2}, {0, 8, 12, 2}, {0, 2, 2, 6}, {10, 2, 2, 6}};

class CoverageRooms : public ::testing::TestWithParam<RoomCase>
{
};

TEST_P(CoverageRooms, BlocksAreTheHandWorkedOnes)
{
  const RoomCase & c = GetParam();
  const Coverage coverage =
    coverageRectangles(roomOfBlocks(c.blocks), kCell, c.minCells, c.maxRectangles);
  EXPECT_EQ(sortedSizes(coverage), c.expected);
  EXPECT_EQ(coverage.passingCells, c.passingCells);
  std::int64_t covered = 0;
  for (const auto & r : coverage.rectangles) {
    covered += std::int64_t{r.cells.area()};
  }
  EXPECT_EQ(coverage.coveredCells, covered);
  EXPECT_DOUBLE_EQ(coverage.coveredShare, double(covered) / double(c.passingCells));
}

INSTANTIATE_TEST_SUITE_P(
  Hand, CoverageRooms,
  ::testing::Values(
    RoomCase{"L", kL, 4, -1, {{3, 5}, {3, 10}}, 45},
    RoomCase{"LOneBlockAllowed", kL, 4, 1, {{3, 10}}, 45},
    RoomCase{"LSecondBlockTooSmall", kL, 16, -1, {{3, 10}}, 45},
    RoomCase{"LSecondBlockJustBigEnough", kL, 15, -1, {{3, 5}, {3, 10}}, 45},
    RoomCase{"LNoBlockAllowed", kL, 4, 0, {}, 45},
    RoomCase{"U", kU, 4, -1, {{3, 7}, {3, 7}, {3, 12}}, 78},
    RoomCase{"Ring", kRing, 4, -1, {{2, 6}, {2, 6}, {2, 12}, {2, 12}}, 72},
    RoomCase{"SingleRow", {{0, 0, 8, 1}}, 4, -1, {{1, 8}}, 8}),
  [](const auto & param) { return param.param.name; });

TEST(CoverageRooms, ExtentIsHalfACellOutsideTheOutline)
{
  // A single 8 x 1 row: the outline's corners are cell centres, the extent's
  // are the block's pixel edges (a 80 x 10 block: 8 cells of 10 px).
  const Coverage coverage = coverageRectangles(roomOfBlocks({{0, 0, 8, 1}}), kCell);
  ASSERT_EQ(coverage.rectangles.size(), 1U);
  const auto & r = coverage.rectangles[0];
  ASSERT_EQ(r.outline.size(), 5U);
  ASSERT_EQ(r.extent.size(), 5U);
  EXPECT_EQ(r.extent.front(), r.extent.back());
  const double outlineLength =
    cv::norm(r.outline[1] - r.outline[0]) + cv::norm(r.outline[2] - r.outline[1]);
  const double extentLength =
    cv::norm(r.extent[1] - r.extent[0]) + cv::norm(r.extent[2] - r.extent[1]);
  EXPECT_NEAR(outlineLength, 70.0, 1e-3);  // 7 pitches along, 0 across
  EXPECT_NEAR(extentLength, 90.0, 1e-3);   // 8 + 1 cells: both sides grow by a cell
  EXPECT_NEAR(cv::contourArea(r.extent), 80.0 * 10.0, 1e-2);
}

// ---------------------------------------------------------------- greedy worker

using BoolGrid = std::vector<std::vector<bool>>;

CellGrid gridOf(const BoolGrid & passing)
{
  CellGrid grid;
  grid.rows = static_cast<int>(passing.size());
  grid.cols = static_cast<int>(passing[0].size());
  for (const auto & row : passing) {
    int run = 0;
    for (const bool p : row) {
      run = p ? run + 1 : 0;
      grid.runLengths.push_back(run);
    }
  }
  return grid;
}

/// The plain greedy: every block checked cell by cell. Largest area; on ties
/// the leftmost right column, then the first row from the top where the run of
/// free cells ending in that column is exactly the block's width.
std::vector<CellRect> bruteForceGreedy(BoolGrid free, std::int64_t minCells)
{
  const int rows = static_cast<int>(free.size());
  const int cols = static_cast<int>(free[0].size());
  auto allFree = [&](int t, int b, int l, int r) {
    for (int y = t; y < b; ++y) {
      for (int x = l; x <= r; ++x) {
        if (!free[size_t(y)][size_t(x)]) {
          return false;
        }
      }
    }
    return true;
  };
  auto keyRow = [&](const CellRect & c) {
    for (int y = c.topRow; y < c.bottomRow; ++y) {
      int run = 0;
      for (int x = c.rightCol; x >= 0 && free[size_t(y)][size_t(x)]; --x) {
        ++run;
      }
      if (run == c.rightCol - c.leftCol + 1) {
        return y;
      }
    }
    return rows;
  };
  std::vector<CellRect> taken;
  while (true) {
    CellRect best;
    for (int r = 0; r < cols; ++r) {
      for (int t = 0; t < rows; ++t) {
        for (int b = t + 1; b <= rows; ++b) {
          for (int l = 0; l <= r; ++l) {
            const CellRect c{std::int64_t{b - t} * (r - l + 1), t, b, l, r};
            const bool better =
              c.area > best.area ||
              (c.area == best.area && c.area > 0 && r == best.rightCol && keyRow(c) < keyRow(best));
            if (better && allFree(t, b, l, r)) {
              best = c;
            }
          }
        }
      }
    }
    if (best.area < minCells || best.area == 0) {
      return taken;
    }
    taken.push_back(best);
    for (int y = best.topRow; y < best.bottomRow; ++y) {
      for (int x = best.leftCol; x <= best.rightCol; ++x) {
        free[size_t(y)][size_t(x)] = false;
      }
    }
  }
}

TEST(CoverageGreedy, MatchesBruteForceOnRandomGrids)
{
  const unsigned seed = 20261209;
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  for (int trial = 0; trial < 300; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    const int rows = 1 + int(rng() % 7);
    const int cols = 1 + int(rng() % 7);
    const auto freePercent = 40 + rng() % 55;
    BoolGrid passing(static_cast<size_t>(rows), std::vector<bool>(static_cast<size_t>(cols)));
    for (auto & row : passing) {
      for (size_t x = 0; x < row.size(); ++x) {
        row[x] = rng() % 100 < freePercent;
      }
    }
    const std::int64_t minCells = 1 + rng() % 4;
    CellGrid grid = gridOf(passing);
    const std::vector<CellRect> got = quorvane::cell_cover::greedyCellRects(grid, minCells, -1);
    const std::vector<CellRect> want = bruteForceGreedy(passing, minCells);
    ASSERT_EQ(got.size(), want.size());
    BoolGrid left = passing;
    for (size_t i = 0; i < got.size(); ++i) {
      SCOPED_TRACE("block " + std::to_string(i));
      EXPECT_EQ(got[i].area, want[i].area);
      EXPECT_EQ(got[i].topRow, want[i].topRow);
      EXPECT_EQ(got[i].bottomRow, want[i].bottomRow);
      EXPECT_EQ(got[i].leftCol, want[i].leftCol);
      EXPECT_EQ(got[i].rightCol, want[i].rightCol);
      for (int y = got[i].topRow; y < got[i].bottomRow; ++y) {
        for (int x = got[i].leftCol; x <= got[i].rightCol; ++x) {
          ASSERT_TRUE(left[size_t(y)][size_t(x)]) << "cell used twice or failing";
          left[size_t(y)][size_t(x)] = false;
        }
      }
    }
    // The run lengths left are those of the cells no block took.
    EXPECT_EQ(grid.runLengths, gridOf(left).runLengths);
  }
}

// ---------------------------------------------------------------- whole maps

TEST(CoverageMaps, BlocksNeverOverlap)
{
  const unsigned seed = 5150;
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  for (int trial = 0; trial < 12; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    const double angle = double(rng() % 180);
    const double cellSize = 6.0 + double(rng() % 9);
    const cv::Mat map =
      quorvane::tools::makeSampleFloorPlan({400, 300}, angle, static_cast<unsigned>(rng()));
    const Coverage coverage = coverageRectangles(map, cellSize);
    ASSERT_FALSE(coverage.rectangles.empty());
    // Outlines through cell centres of different blocks lie a cell apart:
    // filled, no pixel belongs to two.
    cv::Mat count(map.size(), CV_8UC1, cv::Scalar(0));
    std::int64_t covered = 0;
    for (const auto & r : coverage.rectangles) {
      EXPECT_GE(r.cells.area(), 4);
      covered += r.cells.area();
      std::vector<cv::Point> corners;
      for (size_t i = 0; i < 4; ++i) {
        corners.emplace_back(cvRound(r.outline[i].x), cvRound(r.outline[i].y));
      }
      cv::Mat one(map.size(), CV_8UC1, cv::Scalar(0));
      cv::fillConvexPoly(one, corners, cv::Scalar(1));
      count += one;
    }
    double most = 0.0;
    cv::minMaxLoc(count, nullptr, &most);
    EXPECT_LE(most, 1.0);
    EXPECT_EQ(coverage.coveredCells, covered);
    EXPECT_LE(covered, coverage.passingCells);
    EXPECT_GT(coverage.coveredShare, 0.5);
  }
}

TEST(CoverageMaps, NothingToCoverGivesNoBlock)
{
  for (const cv::Mat & map : {cv::Mat(), cv::Mat(50, 50, CV_8UC1, cv::Scalar(0))}) {
    const Coverage coverage = coverageRectangles(map, 5.0);
    EXPECT_TRUE(coverage.rectangles.empty());
    EXPECT_EQ(coverage.passingCells, 0);
    EXPECT_EQ(coverage.coveredShare, 0.0);
  }
}

TEST(CoverageMaps, MapWiderThan32767PixelsIsOneBlock)
{
  // A free band of 32990 x 20 pixels in a 33000 x 40 map: turned by a shift of
  // (1.5, 1.5) and eroded by 2, its grid of 5-pixel cells (centres x = 8 ..
  // 32993, y = 13 .. 28) passes everywhere: one block of 6598 x 4 cells.
  cv::Mat map = cv::Mat::zeros(40, 33000, CV_8UC1);
  map(cv::Rect(5, 10, 32990, 20)).setTo(255);
  const Coverage coverage = coverageRectangles(map, 5.0);
  ASSERT_EQ(coverage.rectangles.size(), 1U);
  EXPECT_EQ(coverage.rectangles[0].cells, cv::Size(6598, 4));
  EXPECT_EQ(coverage.passingCells, 6598 * 4);
  EXPECT_EQ(coverage.coveredShare, 1.0);
  const cv::Point2f corners[] = {
    {6.5F, 11.5F}, {32991.5F, 11.5F}, {32991.5F, 26.5F}, {6.5F, 26.5F}};
  const std::vector<cv::Point2f> & outline = coverage.rectangles[0].outline;
  ASSERT_EQ(outline.size(), 5U);
  for (std::size_t i = 0; i < outline.size(); ++i) {
    EXPECT_NEAR(outline[i].x, corners[i % 4].x, 1e-3) << i;
    EXPECT_NEAR(outline[i].y, corners[i % 4].y, 1e-3) << i;
  }
}

struct BadInput
{
  std::string name;
  cv::Mat map;
  double cellSize;
  int minCells;
  int code;
};

class CoverageBadInput : public ::testing::TestWithParam<BadInput>
{
};

TEST_P(CoverageBadInput, Throws)
{
  const BadInput & c = GetParam();
  quorvane::test::expectCvError([&] { coverageRectangles(c.map, c.cellSize, c.minCells); }, c.code);
}

const cv::Mat kFree(40, 40, CV_8UC1, cv::Scalar(255));
const cv::Mat kWide(40, 40, CV_16UC1, cv::Scalar(255));

INSTANTIATE_TEST_SUITE_P(
  Table, CoverageBadInput,
  ::testing::Values(
    BadInput{"CellBelowOne", kFree, 0.5, 4, cv::Error::StsOutOfRange},
    BadInput{"CellNaN", kFree, std::nan(""), 4, cv::Error::StsOutOfRange},
    BadInput{"CellTooLarge", kFree, 65536.0, 4, cv::Error::StsOutOfRange},
    BadInput{"NotBytes", kWide, 5.0, 4, cv::Error::StsUnsupportedFormat},
    BadInput{"ThreeChannels", cv::Mat(9, 9, CV_8UC3), 5.0, 4, cv::Error::StsUnsupportedFormat},
    BadInput{"CellCheckedBeforeType", kWide, 0.0, 4, cv::Error::StsOutOfRange},
    BadInput{"MinCellsZero", kFree, 5.0, 0, cv::Error::StsOutOfRange},
    BadInput{"MinCellsNegativeOnEmptyMap", cv::Mat(), 5.0, -2, cv::Error::StsOutOfRange}),
  [](const auto & param) { return param.param.name; });

}  // namespace

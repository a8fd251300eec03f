// The aligned map against the core's public classes called separately: the
// direction, the rotation, the rotated image, the inner rectangle and the
// coverage come out bit for bit the same, on random floor plans and on the
// real maps of QUORVANE_TEST_MAPS_DIR.
#include <gtest/gtest.h>

#include "expect_cv_error.hpp"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "Rotator.hpp"
#include "get_special_points.hpp"
#include "quorvane_nav2_maps/aligned_map.hpp"
#include "quorvane_nav2_maps/coverage.hpp"
#include "quorvane_nav2_maps/map.hpp"
#include "sample_floor_plan.hpp"
#include "test_maps_dir.hpp"

namespace
{

namespace maps = quorvane::maps;

/// Same bytes, same size and type.
bool identical(const cv::Mat & a, const cv::Mat & b)
{
  if (a.size() != b.size() || a.type() != b.type()) {
    return false;
  }
  for (int r = 0; r < a.rows; ++r) {
    if (std::memcmp(a.ptr(r), b.ptr(r), a.cols * a.elemSize()) != 0) {
      return false;
    }
  }
  return true;
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

/// Every answer of the aligned map equals the one of the separate call.
void expectSameAsSeparateCalls(const cv::Mat & free, double cellSize)
{
  const maps::AlignedMap aligned = maps::alignMap(free, cellSize);

  Rotator rotator;
  EXPECT_TRUE(sameBits(aligned.mainDirection, rotator.computeImageMainDirection(free)));
  cv::Mat matrix;
  cv::Rect bounds;
  rotator.computeImageRotationMatrix(free, matrix, bounds, nullptr, 0.0);
  EXPECT_TRUE(identical(aligned.rotation, matrix));
  EXPECT_EQ(aligned.bounds, bounds);
  cv::Mat rotated;
  rotator.rotateImage(free, rotated, matrix, bounds);
  EXPECT_TRUE(identical(aligned.aligned, rotated));

  std::vector<cv::Point2f> expected;
  get_special_points().getInnerRect(free, expected, cellSize);
  const auto inner = maps::innerRectangle(aligned);
  ASSERT_EQ(inner.has_value(), !expected.empty());
  if (inner) {
    EXPECT_EQ(inner->outline, expected);  // float ==: bit for bit here
  }

  const maps::Coverage separate = maps::coverageRectangles(free, cellSize, 2);
  const maps::Coverage shared = maps::coverageRectangles(aligned, 2);
  EXPECT_EQ(shared.passingCells, separate.passingCells);
  EXPECT_EQ(shared.passingCells, aligned.grid.passingCells);
  ASSERT_EQ(shared.rectangles.size(), separate.rectangles.size());
  for (std::size_t i = 0; i < shared.rectangles.size(); ++i) {
    EXPECT_EQ(shared.rectangles[i].outline, separate.rectangles[i].outline);
    EXPECT_EQ(shared.rectangles[i].extent, separate.rectangles[i].extent);
    EXPECT_EQ(shared.rectangles[i].block, separate.rectangles[i].block);
  }
  if (inner && !shared.rectangles.empty()) {
    EXPECT_EQ(shared.rectangles[0].block, inner->block);
  }
}

TEST(AlignedMap, SameAsTheSeparateCallsOnRandomFloorPlans)
{
  const unsigned seed = 20261209;
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  for (int trial = 0; trial < 16; ++trial) {
    const double angle = static_cast<double>(rng() % 360) - 180.0;
    const double cellSize = 1.0 + static_cast<double>(rng() % 160) / 10.0;
    const cv::Size size(150 + static_cast<int>(rng() % 400), 150 + static_cast<int>(rng() % 300));
    SCOPED_TRACE(
      "trial " + std::to_string(trial) + ": angle " + std::to_string(angle) + ", cell " +
      std::to_string(cellSize));
    const cv::Mat plan =
      quorvane::tools::makeSampleFloorPlan(size, angle, static_cast<unsigned>(rng()));
    expectSameAsSeparateCalls(plan, cellSize);
  }
}

TEST(AlignedMap, SameAsTheSeparateCallsOnRealMaps)
{
  const std::filesystem::path dir = quorvane::test::testMapsDir();
  if (dir.empty()) {
    GTEST_SKIP() << "QUORVANE_TEST_MAPS_DIR is not set";
  }
  int maps = 0;
  for (const auto & entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".yaml") {
      continue;
    }
    SCOPED_TRACE(entry.path().string());
    const maps::Map map = maps::loadMap(entry.path().string());
    expectSameAsSeparateCalls(map.free, std::round(0.5 / map.frame.resolution));
    ++maps;
  }
  EXPECT_GT(maps, 0);
}

TEST(AlignedMap, GridCountsAndPlacesTheCellsOfAnAxisAlignedRoom)
{
  // A 40 x 20 block of free pixels with walls along the axes, cells of 10:
  // the box starts at (10, 20), the first centre half a cell inside it, and
  // 4 x 2 centres lie left of and above the box's last column and row.
  cv::Mat free = cv::Mat::zeros(60, 70, CV_8UC1);
  free(cv::Rect(10, 20, 40, 20)).setTo(255);
  const maps::AlignedMap aligned = maps::alignMap(free, 10.0);
  EXPECT_EQ(aligned.mainDirection, 0.0);
  EXPECT_EQ(aligned.grid.cellPx, 10);
  EXPECT_EQ(aligned.grid.halfPx, 5);
  EXPECT_EQ(aligned.grid.rows, 2);
  EXPECT_EQ(aligned.grid.cols, 4);
  EXPECT_EQ(aligned.grid.passingCells, 8);
  EXPECT_EQ(cv::countNonZero(aligned.grid.passing), 8);
  const auto inner = maps::innerRectangle(aligned);
  ASSERT_TRUE(inner);
  // Every cell passes: the block is the whole grid.
  EXPECT_EQ(inner->block, cv::Rect(0, 0, 4, 2));
  EXPECT_EQ(inner->cells, cv::Size(4, 2));
}

TEST(AlignedMap, NothingToAlignGivesNoCells)
{
  const maps::AlignedMap none = maps::alignMap(cv::Mat(), 5.0);
  EXPECT_TRUE(none.aligned.empty());
  EXPECT_TRUE(none.rotation.empty());
  EXPECT_EQ(none.grid.rows, 0);
  EXPECT_FALSE(maps::innerRectangle(none));
  EXPECT_TRUE(maps::alignedToMap(none, {{1.F, 2.F}}).empty());
  const maps::AlignedMap blocked = maps::alignMap(cv::Mat::zeros(30, 30, CV_8UC1), 5.0);
  EXPECT_EQ(blocked.grid.passingCells, 0);
  EXPECT_FALSE(maps::innerRectangle(blocked));
  // Aligned without a cell size: no grid, so no block.
  EXPECT_TRUE(
    maps::coverageRectangles(maps::alignMap(cv::Mat(30, 30, CV_8UC1, 255))).rectangles.empty());
}

TEST(AlignedMap, BadInputThrowsBeforeTheMapIsTouched)
{
  quorvane::test::expectCvError(
    [] { maps::alignMap(cv::Mat(9, 9, CV_16UC1)); }, cv::Error::StsUnsupportedFormat);
  quorvane::test::expectCvError(
    [] { maps::alignMap(cv::Mat(9, 9, CV_16UC1), 0.5); }, cv::Error::StsOutOfRange);
  maps::AlignedMap aligned = maps::alignMap(cv::Mat(30, 30, CV_8UC1, 255), 5.0);
  const cv::Mat passing = aligned.grid.passing;
  quorvane::test::expectCvError(
    [&] { maps::testCells(aligned, std::nan("")); }, cv::Error::StsOutOfRange);
  EXPECT_EQ(aligned.grid.passing.data, passing.data);
  EXPECT_EQ(aligned.grid.cellPx, 5);
}

}  // namespace

#include "inner_rect.hpp"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "cell_test.hpp"
#include "rotation.hpp"

namespace quorvane
{
namespace inner_rect
{

CellSizes checkedCellSizes(double cellSize)
{
  if (
    !std::isfinite(cellSize) || cellSize < 1.0 || std::floor(cellSize) > cell_test::kMaxCellSide) {
    CV_Error_(
      cv::Error::StsOutOfRange, ("cell size must be finite, at least 1 and below %d, got %g",
                                 cell_test::kMaxCellSide + 1, cellSize));
  }
  return {static_cast<int>(std::floor(cellSize)), static_cast<int>(std::floor(cellSize * 0.5))};
}

bool hasRowOfCellCentres(const PixelBox & box, int half)
{
  return std::int64_t{box.minY} + half < box.maxY;
}

cv::Mat erodeByHalfCell(const cv::Mat & image, int half)
{
  // A square is the product of a row and a column segment, and the border
  // value (the type's maximum) never wins a minimum, so two 1-D passes give
  // exactly the square erosion that `half` iterations of the 3x3 rectangle give.
  if (half == 0) {
    return image;  // nothing to erode; the image is only read afterwards
  }
  const int side = 2 * half + 1;
  cv::Mat rowsEroded;
  cv::Mat eroded;
  cv::erode(image, rowsEroded, cv::Mat::ones(1, side, CV_8UC1), cv::Point(half, 0));
  cv::erode(rowsEroded, eroded, cv::Mat::ones(side, 1, CV_8UC1), cv::Point(0, half));
  return eroded;
}

namespace
{

/// Number of values origin, origin + step, ... that stay below limit.
int countStepsBelow(std::int64_t origin, std::int64_t limit, int step)
{
  return origin < limit ? static_cast<int>((limit - origin - 1) / step + 1) : 0;
}

}  // namespace

CellGrid layCellGrid(const PixelBox & box, const CellSizes & sizes)
{
  CellGrid grid;
  grid.originX = std::int64_t{box.minX} + sizes.half;
  grid.originY = std::int64_t{box.minY} + sizes.half;
  grid.cell = sizes.cell;
  grid.rows = countStepsBelow(grid.originY, box.maxY, sizes.cell);
  grid.cols = countStepsBelow(grid.originX, box.maxX, sizes.cell);
  return grid;
}

void testCellsOfGrid(const cv::Mat & eroded, CellGrid & grid, cv::Mat & mask)
{
  grid.runLengths.resize(static_cast<std::size_t>(grid.rows) * static_cast<std::size_t>(grid.cols));
  auto runLength = grid.runLengths.begin();
  for (int r = 0; r < grid.rows; ++r) {
    int run = 0;  // passing cells so far in this row, ending with the last one
    for (int c = 0; c < grid.cols; ++c) {
      run = cell_test::testCell(eroded, grid.centre(r, c), grid.cell, mask) ? run + 1 : 0;
      *runLength++ = run;
    }
  }
}

HistogramBuffers::HistogramBuffers(int rows)
: height(static_cast<std::size_t>(rows)),
  prevLower(static_cast<std::size_t>(rows)),
  nextLower(static_cast<std::size_t>(rows))
{
  stack.reserve(static_cast<std::size_t>(rows));
}

namespace
{

/// Element @p i of a per-row array (rows are int indices; the arrays are
/// sized to the row count).
inline int & at(std::vector<int> & v, int i) { return v[static_cast<std::size_t>(i)]; }

/// Nearest lower rows on both sides of every row, with a monotone stack:
/// a row is popped while its height is at least the current one.
void findNearestLowerRows(HistogramBuffers & b)
{
  const int rows = static_cast<int>(b.height.size());
  b.stack.clear();
  for (int r = 0; r < rows; ++r) {
    while (!b.stack.empty() && at(b.height, b.stack.back()) >= at(b.height, r)) {
      b.stack.pop_back();
    }
    at(b.prevLower, r) = b.stack.empty() ? -1 : b.stack.back();
    b.stack.push_back(r);
  }
  b.stack.clear();
  for (int r = rows - 1; r >= 0; --r) {
    while (!b.stack.empty() && at(b.height, b.stack.back()) >= at(b.height, r)) {
      b.stack.pop_back();
    }
    at(b.nextLower, r) = b.stack.empty() ? rows : b.stack.back();
    b.stack.push_back(r);
  }
}

}  // namespace

CellRect largestRectangleEndingInColumn(const CellGrid & grid, int col, HistogramBuffers & b)
{
  CellRect best;
  // 1. Histogram of this column: the run lengths ending here.
  for (int r = 0; r < grid.rows; ++r) {
    at(b.height, r) = grid.runLength(r, col);
  }
  // 2. For every row, the tallest span whose heights are all at least its own.
  findNearestLowerRows(b);
  // 3. Keep the first strictly larger block, rows from the top.
  for (int r = 0; r < grid.rows; ++r) {
    const int height = at(b.height, r);
    const int above = at(b.prevLower, r);
    const int below = at(b.nextLower, r);
    const std::int64_t area = std::int64_t{height} * (below - above - 1);
    if (area > best.area) {
      best = {area, above + 1, below, col - height + 1, col};
    }
  }
  return best;
}

CellRect largestRectangleOfPassingCells(const CellGrid & grid)
{
  CellRect best;
  if (grid.cols <= 0 || grid.rows <= 0) {
    return best;
  }
  HistogramBuffers b(grid.rows);
  // Columns from the left; only a strictly larger block replaces the best.
  for (int c = 0; c < grid.cols; ++c) {
    const CellRect inColumn = largestRectangleEndingInColumn(grid, c, b);
    if (inColumn.area > best.area) {
      best = inColumn;
    }
  }
  return best;
}

std::vector<cv::Point2f> outlineOfCellRect(const CellGrid & grid, const CellRect & rect)
{
  const cv::Point topLeft = grid.centre(rect.topRow, rect.leftCol);
  const cv::Point bottomRight = grid.centre(rect.bottomRow - 1, rect.rightCol);
  const auto xLeft = static_cast<float>(topLeft.x);
  const auto yTop = static_cast<float>(topLeft.y);
  const auto xRight = static_cast<float>(bottomRight.x);
  const auto yBottom = static_cast<float>(bottomRight.y);
  return {{xLeft, yTop}, {xRight, yTop}, {xRight, yBottom}, {xLeft, yBottom}, {xLeft, yTop}};
}

std::optional<CellGrid> testedCellGrid(
  const cv::Mat & rotated, const CellSizes & sizes, cv::Mat & mask)
{
  // The box of the free area; no 255 pixel, or no room for a row of centres,
  // ends the search before the erosion.
  const std::optional<PixelBox> box = image_scan::boxOf255Pixels(rotated);
  if (!box || !hasRowOfCellCentres(*box, sizes.half)) {
    return std::nullopt;
  }
  const cv::Mat eroded = erodeByHalfCell(rotated, sizes.half);
  CellGrid grid = layCellGrid(*box, sizes);
  testCellsOfGrid(eroded, grid, mask);
  return grid;
}

std::optional<std::vector<cv::Point2f>> innerRectOutlineInRotatedFrame(
  const cv::Mat & rotated, const CellSizes & sizes, cv::Mat & mask)
{
  const std::optional<CellGrid> grid = testedCellGrid(rotated, sizes, mask);
  if (!grid) {
    return std::nullopt;
  }
  const CellRect rect = largestRectangleOfPassingCells(*grid);
  if (rect.area == 0) {
    return std::nullopt;
  }
  return outlineOfCellRect(*grid, rect);
}

TurnedMap alignOntoMainDirection(const cv::Mat & map)
{
  TurnedMap aligned;
  aligned.turn = rotation::rotationOntoMainDirection(map, nullptr, 0.0);
  rotation::warpAndBinarise(map, aligned.turn.matrix, aligned.turn.bounds.size(), aligned.rotated);
  return aligned;
}

std::optional<std::vector<cv::Point2f>> innerRectOutlineInMap(
  const cv::Mat & map, const CellSizes & sizes, cv::Mat & mask)
{
  // Turn the map so that its main direction lies along x, search there, and
  // carry the outline back into the map's frame.
  const TurnedMap aligned = alignOntoMainDirection(map);
  const std::optional<std::vector<cv::Point2f>> outline =
    innerRectOutlineInRotatedFrame(aligned.rotated, sizes, mask);
  if (!outline) {
    return std::nullopt;
  }
  return rotation::transformBack(*outline, aligned.turn.matrix);
}

}  // namespace inner_rect
}  // namespace quorvane

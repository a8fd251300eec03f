#include "cell_cover.hpp"

#include <algorithm>
#include <cstddef>

namespace quorvane
{
namespace cell_cover
{

using inner_rect::CellGrid;
using inner_rect::CellRect;

std::int64_t countPassingCells(const CellGrid & grid)
{
  return static_cast<std::int64_t>(
    std::count_if(grid.runLengths.begin(), grid.runLengths.end(), [](int run) { return run > 0; }));
}

CellGrid runLengthGrid(const maps::CellGrid & grid)
{
  CellGrid out;
  out.originX = grid.originX;
  out.originY = grid.originY;
  out.cell = grid.cellPx;
  out.rows = grid.rows;
  out.cols = grid.cols;
  out.runLengths.resize(static_cast<std::size_t>(grid.rows) * static_cast<std::size_t>(grid.cols));
  auto runLength = out.runLengths.begin();
  for (int r = 0; r < grid.rows; ++r) {
    const uchar * passing = grid.passing.ptr<uchar>(r);
    int run = 0;
    for (int c = 0; c < grid.cols; ++c) {
      run = passing[c] != 0 ? run + 1 : 0;
      *runLength++ = run;
    }
  }
  return out;
}

namespace
{

/// The block's outer edges in the turned frame: the outline through its
/// corner cells' centres pushed out by @p half on every side.
void appendExtent(
  const std::vector<cv::Point2f> & outline, float half, std::vector<cv::Point2f> & points)
{
  const float xLeft = outline[0].x - half;
  const float yTop = outline[0].y - half;
  const float xRight = outline[2].x + half;
  const float yBottom = outline[2].y + half;
  points.insert(
    points.end(),
    {{xLeft, yTop}, {xRight, yTop}, {xRight, yBottom}, {xLeft, yBottom}, {xLeft, yTop}});
}

}  // namespace

std::vector<maps::CoverageRectangle> blocksInMap(
  const maps::AlignedMap & map, const std::vector<CellRect> & rects)
{
  const CellGrid grid = runLengthGrid(map.grid);
  constexpr std::size_t kCorners = 5;
  std::vector<cv::Point2f> turned;
  turned.reserve(2 * kCorners * rects.size());
  const float half = static_cast<float>(grid.cell) * 0.5F;
  for (const CellRect & rect : rects) {
    const std::vector<cv::Point2f> outline = inner_rect::outlineOfCellRect(grid, rect);
    turned.insert(turned.end(), outline.begin(), outline.end());
    appendExtent(outline, half, turned);
  }
  const std::vector<cv::Point2f> inMap = maps::alignedToMap(map, turned);
  std::vector<maps::CoverageRectangle> blocks;
  blocks.reserve(rects.size());
  auto corner = inMap.begin();
  for (const CellRect & rect : rects) {
    maps::CoverageRectangle block;
    block.outline.assign(corner, corner + kCorners);
    block.extent.assign(corner + kCorners, corner + 2 * kCorners);
    block.cells = {rect.rightCol - rect.leftCol + 1, rect.bottomRow - rect.topRow};
    block.block = {rect.leftCol, rect.topRow, block.cells.width, block.cells.height};
    blocks.push_back(std::move(block));
    corner += 2 * kCorners;
  }
  return blocks;
}

namespace
{

/// Index of a cell in the grid's row-major arrays.
std::size_t cellIndex(const CellGrid & grid, int row, int col)
{
  return static_cast<std::size_t>(row) * static_cast<std::size_t>(grid.cols) +
         static_cast<std::size_t>(col);
}

/// The first column (from the left) whose best block is the largest, as the
/// full search keeps the first strictly larger block.
const CellRect & largestOfColumns(const std::vector<CellRect> & columnBest)
{
  std::size_t best = 0;
  for (std::size_t c = 1; c < columnBest.size(); ++c) {
    if (columnBest[c].area > columnBest[best].area) {
      best = c;
    }
  }
  return columnBest[best];
}

/// Marks the block's cells failing and recomputes the run lengths that change:
/// in each of its rows, from its left column to the end of the run of passing
/// cells that continues right of it. Returns the last column changed.
int takeBlock(CellGrid & grid, const CellRect & rect)
{
  int lastChanged = rect.rightCol;
  for (int r = rect.topRow; r < rect.bottomRow; ++r) {
    int * row = grid.runLengths.data() + cellIndex(grid, r, 0);
    std::fill(row + rect.leftCol, row + rect.rightCol + 1, 0);
    // Right of the block, the run restarts: 1, 2, ... until a failing cell.
    int c = rect.rightCol + 1;
    for (int run = 1; c < grid.cols && row[c] > 0; ++c, ++run) {
      row[c] = run;
    }
    lastChanged = std::max(lastChanged, c - 1);
  }
  return lastChanged;
}

}  // namespace

std::vector<CellRect> greedyCellRects(CellGrid & grid, std::int64_t minCells, int maxRectangles)
{
  std::vector<CellRect> taken;
  if (grid.rows <= 0 || grid.cols <= 0) {
    return taken;
  }
  // Each block takes at least one passing cell: more blocks than that would
  // mean that taking a block did not use its cells.
  const std::int64_t mostBlocks = countPassingCells(grid);
  inner_rect::HistogramBuffers buffers(grid.rows);
  std::vector<CellRect> columnBest(static_cast<std::size_t>(grid.cols));
  for (int c = 0; c < grid.cols; ++c) {
    columnBest[static_cast<std::size_t>(c)] =
      inner_rect::largestRectangleEndingInColumn(grid, c, buffers);
  }
  while (maxRectangles < 0 || taken.size() < static_cast<std::size_t>(maxRectangles)) {
    const CellRect best = largestOfColumns(columnBest);
    if (best.area < minCells || best.area == 0) {
      break;
    }
    if (static_cast<std::int64_t>(taken.size()) >= mostBlocks) {
      CV_Error(cv::Error::StsInternal, "coverage: a block was taken twice");
    }
    taken.push_back(best);
    // Only the columns whose run lengths changed can have a new best block.
    const int lastChanged = takeBlock(grid, best);
    for (int c = best.leftCol; c <= lastChanged; ++c) {
      columnBest[static_cast<std::size_t>(c)] =
        inner_rect::largestRectangleEndingInColumn(grid, c, buffers);
    }
  }
  return taken;
}

}  // namespace cell_cover
}  // namespace quorvane

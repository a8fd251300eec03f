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

// The largest cell-tiled rectangle of a map's free area: the map turned onto
// its main direction, eroded by half a cell, covered with a grid of cells,
// each tested with the cell test, and the largest block of passing cells.
#ifndef QUORVANE_NAV2_ALGO_CORE__INNER_RECT_HPP_
#define QUORVANE_NAV2_ALGO_CORE__INNER_RECT_HPP_

#include <cstdint>
#include <optional>
#include <vector>

#include <opencv2/core.hpp>

#include "image_scan.hpp"
#include "rotation.hpp"

namespace quorvane
{
namespace inner_rect
{

using image_scan::PixelBox;

// ---------------------------------------------------------------- inner rectangle

/// Grid pitch and the offset of the first cell centre, from a cell size.
struct CellSizes
{
  int cell;  ///< floor(cellSize): the grid pitch and the side of a cell's test window.
  int half;  ///< floor(cellSize * 0.5) = cell / 2: first centre offset and erosion radius.
};

/// Throws cv::Exception (StsOutOfRange) unless cellSize is finite, at least 1
/// and its floor is at most cell_test::kMaxCellSide; otherwise returns cell and half.
CellSizes checkedCellSizes(double cellSize);

/// Whether the box leaves room for one row of cell centres: minY + half < maxY.
bool hasRowOfCellCentres(const PixelBox & box, int half);

/// Erosion by a square of side 2 * half + 1 (half = 0 gives the image itself); pixels
/// beyond the image edge never erode anything. Equal to cv::erode with the
/// default 3x3 kernel and half iterations, done as a row pass and a column
/// pass so that no (2 half + 1)^2 kernel is ever built.
cv::Mat erodeByHalfCell(const cv::Mat & image, int half);

/// Regular grid of cells over a box: the centre of the cell in row r, column
/// c is (originX + c * cell, originY + r * cell), and rows x cols centres lie
/// strictly left of maxX and strictly above maxY. runLengths (row-major) holds
/// for every cell the number of consecutive passing cells of its row that end
/// with it (0 when the cell itself fails).
struct CellGrid
{
  std::int64_t originX = 0;
  std::int64_t originY = 0;
  int cell = 1;
  int rows = 0;
  int cols = 0;
  std::vector<int> runLengths;

  cv::Point centre(int row, int col) const
  {
    return {
      static_cast<int>(originX + std::int64_t{col} * cell),
      static_cast<int>(originY + std::int64_t{row} * cell)};
  }
  int runLength(int row, int col) const
  {
    return runLengths
      [static_cast<std::size_t>(row) * static_cast<std::size_t>(cols) +
       static_cast<std::size_t>(col)];
  }
};

/// Lays the grid over the box (runLengths left empty).
CellGrid layCellGrid(const PixelBox & box, const CellSizes & sizes);

/// Tests every cell of the grid with the cell test on the eroded image, row
/// after row, each row from the left, and fills runLengths. @p mask is the
/// cell test's scratch image: it ends as the last test that got past the
/// centre shortcut left it.
void testCellsOfGrid(const cv::Mat & eroded, CellGrid & grid, cv::Mat & mask);

/// A block of grid cells: rows topRow .. bottomRow - 1, columns leftCol ..
/// rightCol (inclusive); area counts cells.
struct CellRect
{
  std::int64_t area = 0;
  int topRow = 0;
  int bottomRow = 0;
  int leftCol = 0;
  int rightCol = 0;
};

/// Per-column buffers of the rectangle search, sized to the grid's rows once
/// and reused for every column.
struct HistogramBuffers
{
  explicit HistogramBuffers(int rows);

  std::vector<int> height;     ///< run length of every row in this column
  std::vector<int> prevLower;  ///< nearest row above with a smaller height, or -1
  std::vector<int> nextLower;  ///< nearest row below with a smaller height, or rows
  std::vector<int> stack;      ///< rows whose nearest lower neighbour is still open
};

/// Largest block of passing cells whose right column is @p col: the largest
/// rectangle under the histogram of the run lengths ending in that column,
/// found with a stack. Ties keep the first row (from the top) whose run
/// length is the block's width. Area 0 when no cell of the column passes.
/// @p buffers must have been made for grid.rows rows.
CellRect largestRectangleEndingInColumn(const CellGrid & grid, int col, HistogramBuffers & buffers);

/// Largest block of passing cells, from the run lengths: the largest block
/// ending in each column, from the left. Ties keep the first found: the
/// leftmost right column, then the first row of that column (from the top)
/// whose run length is the block's width. Area 0 when no cell passes.
CellRect largestRectangleOfPassingCells(const CellGrid & grid);

/// Closed outline through the centres of the block's corner cells: top-left,
/// top-right, bottom-right, bottom-left, top-left.
std::vector<cv::Point2f> outlineOfCellRect(const CellGrid & grid, const CellRect & rect);

/// Box of the 255 pixels of the rotated map, erosion, grid and cell tests
/// (which rewrite @p mask): the grid with its run lengths. Nothing when the
/// image holds no 255 pixel or has no room for a row of cell centres.
std::optional<CellGrid> testedCellGrid(
  const cv::Mat & rotated, const CellSizes & sizes, cv::Mat & mask);

/// The whole search in the rotated frame: box of the 255 pixels, erosion,
/// grid, cell tests (which rewrite @p mask), rectangle and outline. Nothing
/// when the image holds no 255 pixel, has no room for a row of cell centres,
/// or no cell passes.
std::optional<std::vector<cv::Point2f>> innerRectOutlineInRotatedFrame(
  const cv::Mat & rotated, const CellSizes & sizes, cv::Mat & mask);

/// A map turned onto its main direction: the rotation and the rotated,
/// re-binarised image.
struct TurnedMap
{
  rotation::Rotation turn;
  cv::Mat rotated;
};

/// Rotation of a checked, non-empty map onto its main direction (about the
/// middle of the box of its 255 pixels), and the warped map.
TurnedMap alignOntoMainDirection(const cv::Mat & map);

/// getInnerRect's work on a checked, non-empty map: rotation of the map onto
/// its main direction, the search in the rotated frame, and the outline mapped
/// back into the map's frame. Nothing when no rectangle is found.
std::optional<std::vector<cv::Point2f>> innerRectOutlineInMap(
  const cv::Mat & map, const CellSizes & sizes, cv::Mat & mask);

}  // namespace inner_rect
}  // namespace quorvane

#endif  // QUORVANE_NAV2_ALGO_CORE__INNER_RECT_HPP_

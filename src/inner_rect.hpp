// The largest cell-tiled rectangle of a map's free area, and the test of one
// cell. The public methods of get_special_points check their input and call
// these workers.
#ifndef QUORVANE_NAV2_ALGO_CORE__INNER_RECT_HPP_
#define QUORVANE_NAV2_ALGO_CORE__INNER_RECT_HPP_

#include <cstdint>
#include <optional>
#include <vector>

#include <opencv2/core.hpp>

#include "get_special_points.hpp"

namespace quorvane
{
namespace detail
{

// ---------------------------------------------------------------- cell test

/// Largest window side the cell test accepts.
constexpr int kMaxCellSide = 65535;

/// Throws cv::Exception (StsOutOfRange) unless 0 <= side <= kMaxCellSide.
void checkCellSide(int side);

/// Whether (x, y) lies inside the image and the pixel there is 255.
bool isInsideAnd255(const cv::Mat & image, const cv::Point & pixel);

/// Makes @p mask a side x side CV_8UC1 matrix of zeros: cleared in place
/// with setTo when it already has that shape and type, reallocated otherwise.
void resetMask(cv::Mat & mask, int side);

/// Scans the side x side window whose top-left pixel is centre - side / 2,
/// skipping positions outside the image, and writes 255 into the
/// corresponding element of @p mask (already side x side, zeroed) for every
/// 255 pixel. Returns whether there was one. Coordinates may be anywhere in
/// the int range.
bool mark255InWindow(const cv::Mat & image, const cv::Point & centre, int side, cv::Mat & mask);

// ---------------------------------------------------------------- inner rectangle

/// Grid pitch and the offset of the first cell centre, from a cell size.
struct CellSizes
{
  int cell;  ///< floor(cellSize): the grid pitch and the side of a cell's test window.
  int half;  ///< floor(cellSize * 0.5) = cell / 2: first centre offset and erosion radius.
};

/// Throws cv::Exception (StsOutOfRange) unless cellSize is finite, at least 1
/// and its floor is at most kMaxCellSide; otherwise returns cell and half.
CellSizes checkedCellSizes(double cellSize);

/// Inclusive bounding box of an image's 255 pixels.
struct PixelBox
{
  int minX;
  int minY;
  int maxX;
  int maxY;
};

/// Bounding box of the 255 pixels of a CV_8UC1 image (read through its row
/// step), or nothing when there is no such pixel; the same search as
/// Rotator::getMinMaxCoordinates.
std::optional<PixelBox> boxOf255Pixels(const cv::Mat & image);

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

/// Tests every cell of the grid with tester.completeCellTest on the eroded
/// image, row after row, each row from the left, and fills runLengths.
void testCellsOfGrid(get_special_points & tester, const cv::Mat & eroded, CellGrid & grid);

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

/// Largest block of passing cells, from the run lengths: for every column
/// (from the left) the largest rectangle under the histogram of run lengths
/// ending there, found with a stack. Ties keep the first found: the leftmost
/// right column, then the first row of that column (from the top) whose run
/// length is the block's width. Area 0 when no cell passes.
CellRect largestRectangleOfPassingCells(const CellGrid & grid);

/// Closed outline through the centres of the block's corner cells: top-left,
/// top-right, bottom-right, bottom-left, top-left.
std::vector<cv::Point2f> outlineOfCellRect(const CellGrid & grid, const CellRect & rect);

/// The whole search in the rotated frame: box of the 255 pixels, erosion,
/// grid, cell tests (through tester, which rewrites its mask), rectangle and
/// outline. Nothing when the image holds no 255 pixel, has no room for a row of
/// cell centres, or no cell passes.
std::optional<std::vector<cv::Point2f>> innerRectOutlineInRotatedFrame(
  get_special_points & tester, const cv::Mat & rotated, const CellSizes & sizes);

/// getInnerRect's work on a checked, non-empty map: rotation of the map onto
/// its main direction, the search in the rotated frame, and the outline mapped
/// back into the map's frame. Nothing when no rectangle is found.
std::optional<std::vector<cv::Point2f>> innerRectOutlineInMap(
  get_special_points & tester, const cv::Mat & map, const CellSizes & sizes);

}  // namespace detail
}  // namespace quorvane

#endif  // QUORVANE_NAV2_ALGO_CORE__INNER_RECT_HPP_

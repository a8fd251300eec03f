#include "inner_rect.hpp"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "Rotator.hpp"
#include "rotator_internal.hpp"

namespace quorvane
{
namespace detail
{

// ---------------------------------------------------------------- cell test

void checkCellSide(int side)
{
  if (side < 0 || side > kMaxCellSide) {
    CV_Error_(
      cv::Error::StsOutOfRange, ("cell side must lie in [0, %d], got %d", kMaxCellSide, side));
  }
}

bool isInsideAnd255(const cv::Mat & image, const cv::Point & pixel)
{
  return pixel.x >= 0 && pixel.y >= 0 && pixel.x < image.cols && pixel.y < image.rows &&
         image.ptr<std::uint8_t>(pixel.y)[pixel.x] == 255;
}

void resetMask(cv::Mat & mask, int side)
{
  if (mask.rows == side && mask.cols == side && mask.type() == CV_8UC1) {
    mask.setTo(cv::Scalar(0));
  } else {
    mask = cv::Mat::zeros(side, side, CV_8UC1);
  }
}

bool mark255InWindow(const cv::Mat & image, const cv::Point & centre, int side, cv::Mat & mask)
{
  // The window in image coordinates, then clipped to the image (64-bit: the
  // centre may be anywhere in the int range).
  const std::int64_t top = std::int64_t{centre.y} - side / 2;
  const std::int64_t left = std::int64_t{centre.x} - side / 2;
  const std::int64_t rowBegin = std::max<std::int64_t>(top, 0);
  const std::int64_t rowEnd = std::min<std::int64_t>(top + side, image.rows);
  const std::int64_t colBegin = std::max<std::int64_t>(left, 0);
  const std::int64_t colEnd = std::min<std::int64_t>(left + side, image.cols);

  if (rowBegin >= rowEnd || colBegin >= colEnd) {
    return false;
  }
  const auto width = static_cast<std::size_t>(colEnd - colBegin);
  std::uint8_t any255 = 0;
  for (std::int64_t y = rowBegin; y < rowEnd; ++y) {
    const std::uint8_t * src = image.ptr<std::uint8_t>(static_cast<int>(y)) + colBegin;
    std::uint8_t * dst = mask.ptr<std::uint8_t>(static_cast<int>(y - top)) + (colBegin - left);
    for (std::size_t i = 0; i < width; ++i) {
      // Branch-free so the row loop vectorises; the mask is already zero.
      const std::uint8_t mark = src[i] == 255 ? 255 : 0;
      dst[i] = mark;
      any255 |= mark;
    }
  }
  return any255 != 0;
}

// ---------------------------------------------------------------- inner rectangle

CellSizes checkedCellSizes(double cellSize)
{
  if (!std::isfinite(cellSize) || cellSize < 1.0 || std::floor(cellSize) > kMaxCellSide) {
    CV_Error_(
      cv::Error::StsOutOfRange,
      ("cell size must be finite, at least 1 and below %d, got %g", kMaxCellSide + 1, cellSize));
  }
  return {static_cast<int>(std::floor(cellSize)), static_cast<int>(std::floor(cellSize * 0.5))};
}

std::optional<PixelBox> boxOf255Pixels(const cv::Mat & image)
{
  cv::Point lo;
  cv::Point hi;
  if (image.empty() || !boundingBoxOfMarked(image, lo, hi)) {
    return std::nullopt;
  }
  return PixelBox{lo.x, lo.y, hi.x, hi.y};
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

void testCellsOfGrid(get_special_points & tester, const cv::Mat & eroded, CellGrid & grid)
{
  grid.runLengths.resize(static_cast<std::size_t>(grid.rows) * static_cast<std::size_t>(grid.cols));
  auto runLength = grid.runLengths.begin();
  for (int r = 0; r < grid.rows; ++r) {
    int run = 0;  // passing cells so far in this row, ending with the last one
    for (int c = 0; c < grid.cols; ++c) {
      cv::Point centre = grid.centre(r, c);
      run = tester.completeCellTest(eroded, centre, grid.cell) ? run + 1 : 0;
      *runLength++ = run;
    }
  }
}

namespace
{

/// Per-column buffers of the rectangle search, allocated once per search.
struct HistogramBuffers
{
  explicit HistogramBuffers(int rows)
  : height(static_cast<std::size_t>(rows)),
    prevLower(static_cast<std::size_t>(rows)),
    nextLower(static_cast<std::size_t>(rows))
  {
    stack.reserve(static_cast<std::size_t>(rows));
  }

  std::vector<int> height;     ///< run length of every row in this column
  std::vector<int> prevLower;  ///< nearest row above with a smaller height, or -1
  std::vector<int> nextLower;  ///< nearest row below with a smaller height, or rows
  std::vector<int> stack;      ///< rows whose nearest lower neighbour is still open
};

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

CellRect largestRectangleOfPassingCells(const CellGrid & grid)
{
  CellRect best;
  if (grid.cols <= 0 || grid.rows <= 0) {
    return best;
  }
  HistogramBuffers b(grid.rows);
  for (int c = 0; c < grid.cols; ++c) {
    // 1. Histogram of this column: the run lengths ending here.
    for (int r = 0; r < grid.rows; ++r) {
      at(b.height, r) = grid.runLength(r, c);
    }
    // 2. For every row, the tallest span whose heights are all at least its own.
    findNearestLowerRows(b);
    // 3. Keep the first strictly larger block: columns from the left, rows from the top.
    for (int r = 0; r < grid.rows; ++r) {
      const int height = at(b.height, r);
      const int above = at(b.prevLower, r);
      const int below = at(b.nextLower, r);
      const std::int64_t area = std::int64_t{height} * (below - above - 1);
      if (area > best.area) {
        best = {area, above + 1, below, c - height + 1, c};
      }
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

std::optional<std::vector<cv::Point2f>> innerRectOutlineInRotatedFrame(
  get_special_points & tester, const cv::Mat & rotated, const CellSizes & sizes)
{
  // 1. Box of the free area; no 255 pixel ends the search.
  const std::optional<PixelBox> box = boxOf255Pixels(rotated);
  // 2. Early end, decided before the erosion: no room for a row of centres.
  if (!box || !hasRowOfCellCentres(*box, sizes.half)) {
    return std::nullopt;
  }
  // 3. Erode by half a cell.
  const cv::Mat eroded = erodeByHalfCell(rotated, sizes.half);
  // 4. Grid of cells, tested row after row, with the run lengths of passing cells.
  CellGrid grid = layCellGrid(*box, sizes);
  testCellsOfGrid(tester, eroded, grid);
  // 5. Largest block of passing cells.
  const CellRect rect = largestRectangleOfPassingCells(grid);
  if (rect.area == 0) {
    return std::nullopt;
  }
  // 6. Its outline through the corner cells' centres.
  return outlineOfCellRect(grid, rect);
}

std::optional<std::vector<cv::Point2f>> innerRectOutlineInMap(
  get_special_points & tester, const cv::Mat & map, const CellSizes & sizes)
{
  // 1. Rotate the map so that its main direction lies along x.
  Rotator rotator;
  cv::Mat rotationMatrix;
  cv::Rect bounds(0, 0, 0, 0);
  rotator.computeImageRotationMatrix(map, rotationMatrix, bounds, nullptr, 0.0);
  cv::Mat rotated;
  rotator.rotateImage(map, rotated, rotationMatrix, bounds);
  // 2. Search there.
  const std::optional<std::vector<cv::Point2f>> outline =
    innerRectOutlineInRotatedFrame(tester, rotated, sizes);
  if (!outline) {
    return std::nullopt;
  }
  // 3. Carry the outline back into the map's frame.
  std::vector<cv::Point2f> inMap;
  rotator.transformPathBackToOriginalRotation(*outline, inMap, rotationMatrix);
  return inMap;
}

}  // namespace detail
}  // namespace quorvane

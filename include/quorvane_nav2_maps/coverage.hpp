// Coverage of a map's free space by wall-aligned blocks of cells: the inner
// rectangle first, then the largest block of the cells still uncovered, and
// so on, on exactly the grid of cells get_special_points::getInnerRect uses.
#ifndef QUORVANE_NAV2_MAPS__COVERAGE_HPP_
#define QUORVANE_NAV2_MAPS__COVERAGE_HPP_

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "quorvane_nav2_maps/export.hpp"

namespace quorvane
{
namespace maps
{

/// One block of cells of a coverage, in map pixels.
struct CoverageRectangle
{
  /// Closed outline through the centres of the block's corner cells, as
  /// getInnerRect gives it: top-left, top-right, bottom-right, bottom-left,
  /// top-left, "top" and "left" meaning the map turned onto its main direction.
  std::vector<cv::Point2f> outline;
  /// Closed outline of the block's outer edges, in the same order: every
  /// corner half a cell (floor(cellSize) / 2 pixels) further out than the outline's.
  std::vector<cv::Point2f> extent;
  /// Columns (along the main direction) and rows of cells.
  cv::Size cells;
};

/// The blocks of a coverage, in the order they were taken, and how much of
/// the passing cells they cover.
struct Coverage
{
  std::vector<CoverageRectangle> rectangles;
  std::int64_t passingCells = 0;  ///< cells of the grid that pass the cell test
  std::int64_t coveredCells = 0;  ///< cells inside the rectangles (they never overlap)
  double coveredShare = 0.0;      ///< coveredCells / passingCells; 0 when no cell passes
};

/**
 * @brief Covers the free (255) area of a map with wall-aligned blocks of
 *        cells, largest first.
 *
 * The map is turned onto its main direction, eroded and covered with the
 * grid of floor(cellSize) pixel cells exactly as getInnerRect does, at any
 * map size. The first block is getInnerRect's rectangle (outline for
 * outline); its cells are then counted as used, and each further block is
 * the largest block of passing, unused cells, with getInnerRect's tie rules
 * (the leftmost right column, then the first row from the top whose run of
 * cells is the block's width).
 * Blocks are taken until the largest remaining one has fewer than @p minCells
 * cells or @p maxRectangles blocks were taken. After the alignment the work
 * grows at most with cells x blocks; it allocates nothing per cell.
 *
 * @param free          CV_8UC1 map; 255 is free, every other value is not.
 * @param cellSize      cell side in pixels, as for getInnerRect.
 * @param minCells      smallest block kept, in cells (at least 1).
 * @param maxRectangles most blocks taken; negative means no limit.
 * @return the blocks and their share; no block for an empty map, a map
 *         without free pixels or one where no cell passes.
 * @throws cv::Exception (StsOutOfRange) when cellSize is not finite, below 1
 *         or above 65535, (StsUnsupportedFormat) when @p free is not a 2-D
 *         CV_8UC1 matrix, (StsOutOfRange) when minCells < 1, checked in this
 *         order before any work; and what getInnerRect throws for a map whose
 *         turned outline does not fit in int pixel coordinates.
 *
 * Thread safety: reads only its arguments; concurrent calls are safe.
 */
QUORVANE_NAV2_MAPS_EXPORT Coverage
coverageRectangles(const cv::Mat & free, double cellSize, int minCells = 4, int maxRectangles = -1);

}  // namespace maps
}  // namespace quorvane

#endif  // QUORVANE_NAV2_MAPS__COVERAGE_HPP_

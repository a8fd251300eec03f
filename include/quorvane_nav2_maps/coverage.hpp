// Coverage of a map's free space by wall-aligned blocks of cells: the inner
// rectangle first, then the largest block of the cells still uncovered, and
// so on, on exactly the grid of cells get_special_points::getInnerRect uses.
// Errors follow the toolkit's rule (errors.hpp).
#ifndef QUORVANE_NAV2_MAPS__COVERAGE_HPP_
#define QUORVANE_NAV2_MAPS__COVERAGE_HPP_

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "quorvane_nav2_maps/aligned_map.hpp"
#include "quorvane_nav2_maps/export.hpp"

namespace quorvane
{
namespace maps
{

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
 * @brief Covers the passing cells of @p map's grid with blocks, largest first.
 *
 * The first block is innerRectangle(map) (outline for outline); its cells are
 * then counted as used, and each further block is the largest block of
 * passing, unused cells, with the same tie rules (the leftmost right column,
 * then the first row from the top whose run of cells is the block's width).
 * Blocks are taken until the largest remaining one has fewer than
 * @p minCells cells or @p maxRectangles blocks were taken. The work grows at
 * most with cells x blocks, and at most one block is taken per passing cell;
 * nothing is allocated per cell.
 *
 * @param map           an aligned map with its tested grid (testCells()).
 * @param minCells      smallest block kept, in cells (at least 1).
 * @param maxRectangles most blocks taken; negative means no limit.
 * @return the blocks and their share; no block when the grid has no passing
 *         cell (or no cells at all: a map aligned without a cell size).
 * @throws cv::Exception (StsOutOfRange) when minCells < 1, before any work.
 */
QUORVANE_NAV2_MAPS_EXPORT Coverage
coverageRectangles(const AlignedMap & map, int minCells = 4, int maxRectangles = -1);

/**
 * @brief coverageRectangles() of alignMap(@p free, @p cellSize): the map is
 *        turned onto its main direction, eroded and covered with the grid of
 *        floor(cellSize) pixel cells exactly as getInnerRect does, at any
 *        map size.
 *
 * @param free          CV_8UC1 map; 255 is free, every other value is not.
 * @param cellSize      cell side in pixels, as for getInnerRect.
 * @param minCells      smallest block kept, in cells (at least 1).
 * @param maxRectangles most blocks taken; negative means no limit.
 * @return no block for an empty map, a map without free pixels or one where
 *         no cell passes.
 * @throws cv::Exception (StsOutOfRange) when cellSize is not finite, below 1
 *         or above 65535, (StsUnsupportedFormat) when @p free is not a 2-D
 *         CV_8UC1 matrix, (StsOutOfRange) when minCells < 1, checked in this
 *         order before any work; and what alignMap() throws.
 */
QUORVANE_NAV2_MAPS_EXPORT Coverage
coverageRectangles(const cv::Mat & free, double cellSize, int minCells = 4, int maxRectangles = -1);

}  // namespace maps
}  // namespace quorvane

#endif  // QUORVANE_NAV2_MAPS__COVERAGE_HPP_

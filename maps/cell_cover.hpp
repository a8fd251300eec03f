// The greedy cover of a grid of tested cells by blocks: the largest block of
// passing cells, then the largest of the cells left, and so on.
#ifndef QUORVANE_NAV2_MAPS__CELL_COVER_HPP_
#define QUORVANE_NAV2_MAPS__CELL_COVER_HPP_

#include <cstdint>
#include <vector>

#include "inner_rect.hpp"
#include "quorvane_nav2_maps/aligned_map.hpp"

namespace quorvane
{
namespace cell_cover
{

/// Number of cells of the grid whose run length is positive (that pass).
std::int64_t countPassingCells(const inner_rect::CellGrid & grid);

/// The worker's form of an aligned map's grid: the same cells, with the run
/// lengths of passing cells along each row.
inner_rect::CellGrid runLengthGrid(const maps::CellGrid & grid);

/// Blocks of @p map's grid in map pixels: outline, extent, size and place in
/// the grid, carried back through the rotation in one transform.
std::vector<maps::CoverageRectangle> blocksInMap(
  const maps::AlignedMap & map, const std::vector<inner_rect::CellRect> & rects);

/**
 * @brief Takes blocks of passing cells from @p grid, largest first, until the
 *        largest block left has fewer than @p minCells cells (minCells >= 1)
 *        or @p maxRectangles blocks were taken (negative: no limit).
 *
 * Every block is the one largestRectangleOfPassingCells() would find on the
 * grid with the cells of the blocks before it failing. @p grid's run lengths
 * are rewritten as the blocks are taken and end as those of the cells left.
 *
 * The best block ending in each column is kept; taking a block recomputes the
 * run lengths of its rows from its left column to the end of the runs it cut,
 * and the best blocks of those columns only. So one block costs at most one
 * pass over the grid, and buffers are allocated once. Every block takes at
 * least one passing cell, so the loop ends after at most as many blocks as
 * there are passing cells; a block that would take none is a fault and
 * throws (StsInternal) rather than looping.
 */
std::vector<inner_rect::CellRect> greedyCellRects(
  inner_rect::CellGrid & grid, std::int64_t minCells, int maxRectangles);

}  // namespace cell_cover
}  // namespace quorvane

#endif  // QUORVANE_NAV2_MAPS__CELL_COVER_HPP_

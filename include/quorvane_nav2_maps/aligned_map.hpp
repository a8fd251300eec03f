#ifndef QUORVANE_NAV2_MAPS__ALIGNED_MAP_HPP_
#define QUORVANE_NAV2_MAPS__ALIGNED_MAP_HPP_

// A map turned onto its main direction, computed once and shared by every
// answer about that map: the inner rectangle, the coverage blocks and the
// coverage path all read the same rotation, the same two-level rotated image
// and the same grid of tested cells.
//
// The alignment is the core's: the direction is what
// Rotator::computeImageMainDirection() returns, the rotation and its bounds
// what Rotator::computeImageRotationMatrix(free, ..., nullptr, 0.0) gives, the
// rotated image what Rotator::rotateImage() makes of them, and the grid the
// one get_special_points::getInnerRect() lays and tests, bit for bit.
//
// Errors follow the toolkit's rule (errors.hpp): cv::Exception for an image or
// a cell size the functions cannot take. Every function reads only its
// arguments; concurrent calls are safe.

#include <cstdint>
#include <optional>
#include <vector>

#include <opencv2/core.hpp>

#include "quorvane_nav2_maps/export.hpp"

namespace quorvane
{
namespace maps
{

/**
 * @brief Square cells laid over an aligned map, each tested as getInnerRect()
 *        tests it.
 *
 * The grid starts half a cell inside the box of the aligned image's free
 * pixels: the centre of the cell in row r, column c is
 * (originX + c * cellPx, originY + r * cellPx) in aligned pixels, and every
 * centre lies strictly left of and above the box's last column and row. A
 * cell passes when the cellPx x cellPx window around its centre holds a free
 * pixel of the aligned image eroded by halfPx (a square of side
 * 2 * halfPx + 1): a robot of that square's size fits somewhere in it.
 */
struct CellGrid
{
  double cellSize = 0.0;          //!< the cell size asked for, in pixels
  int cellPx = 0;                 //!< floor(cellSize): pitch of the grid and side of a cell
  int halfPx = 0;                 //!< floor(cellSize / 2): first centre's offset, erosion radius
  std::int64_t originX = 0;       //!< aligned x of the centres of column 0
  std::int64_t originY = 0;       //!< aligned y of the centres of row 0
  int rows = 0;                   //!< rows of cells; 0 when no row of centres fits
  int cols = 0;                   //!< columns of cells
  cv::Mat passing;                //!< rows x cols `CV_8UC1`: 255 where the cell passes, else 0
  std::int64_t passingCells = 0;  //!< number of 255 entries of `passing`
};

/**
 * @brief A free-space map turned so that its main direction runs along x.
 *
 * A plain value: copies share the images (cv::Mat semantics); treat them as
 * read only.
 */
struct AlignedMap
{
  cv::Mat free;                //!< the map it was made from (the caller's image, not copied)
  double mainDirection = 0.0;  //!< radians in [0, pi], image convention (y down)
  cv::Mat rotation;  //!< 2x3 `CV_64F`: map pixels to aligned pixels; empty for an empty map
  cv::Rect bounds;   //!< width and height: the aligned image's size (x, y as the core gives them)
  cv::Mat aligned;   //!< `CV_8UC1`, bounds' size: 255 free, 0 otherwise; empty for an empty map
  CellGrid grid;     //!< the tested cells for grid.cellSize; no cells until a cell size is given
};

/**
 * @brief Aligns @p free: main direction, rotation about the middle of the box
 *        of its 255 pixels, and the rotated, re-binarised image. No cells.
 *
 * @param free `CV_8UC1`, 255 free, every other value not. An empty image
 *             gives direction 0, empty images and no rotation.
 * @throws cv::Exception (StsUnsupportedFormat) unless @p free is a 2-D
 *         `CV_8UC1` image, and what the core's alignment throws (an image
 *         whose rotated outline does not fit in int pixel coordinates).
 */
QUORVANE_NAV2_MAPS_EXPORT AlignedMap alignMap(const cv::Mat & free);

/// alignMap(free), then testCells() with @p cellSize: the alignment and the
/// tested grid in one value. Throws as both do, the cell size checked first.
QUORVANE_NAV2_MAPS_EXPORT AlignedMap alignMap(const cv::Mat & free, double cellSize);

/**
 * @brief Replaces @p map's grid by the cells of @p cellSize pixels, tested on
 *        its aligned image (erosion by half a cell, then one window test per
 *        cell). No row of cells when the aligned image has no free pixel or
 *        is too small for one row of centres.
 * @throws cv::Exception (StsOutOfRange) unless @p cellSize is finite, at
 *         least 1 and its floor at most 65535; @p map is then untouched.
 */
QUORVANE_NAV2_MAPS_EXPORT void testCells(AlignedMap & map, double cellSize);

/**
 * @brief The points @p alignedPoints of the aligned frame carried back into
 *        the map's pixels (the inverse of the rotation, as
 *        Rotator::transformPathBackToOriginalRotation() computes it).
 * @return a new vector, in order; empty for an empty input or an aligned map
 *         without rotation.
 */
QUORVANE_NAV2_MAPS_EXPORT std::vector<cv::Point2f> alignedToMap(
  const AlignedMap & map, const std::vector<cv::Point2f> & alignedPoints);

/// One block of cells of an aligned map's grid, in map pixels.
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
  /// The block in the grid: x, y its first column and row, width and height
  /// its columns and rows (`cells`).
  cv::Rect block;
};

/**
 * @brief The inner rectangle on @p map's grid: the largest block of passing
 *        cells, with getInnerRect()'s tie rules (the leftmost right column,
 *        then the first row from the top whose run of cells is the block's
 *        width). Its outline equals, point for point, the one
 *        get_special_points::getInnerRect() gives for the same map and cell
 *        size.
 * @return nothing when no cell passes or the grid has no cells.
 */
QUORVANE_NAV2_MAPS_EXPORT std::optional<CoverageRectangle> innerRectangle(const AlignedMap & map);

}  // namespace maps
}  // namespace quorvane

#endif  // QUORVANE_NAV2_MAPS__ALIGNED_MAP_HPP_

#ifndef QUORVANE_NAV2_MAPS__CLEANING_HPP_
#define QUORVANE_NAV2_MAPS__CLEANING_HPP_

// Removal of the small regions laser noise leaves in occupancy maps: obstacle
// specks inside rooms and free islands outside them.

#include <cstdint>

#include <opencv2/core.hpp>

#include "quorvane_nav2_maps/export.hpp"

namespace quorvane
{
namespace maps
{

/// What removeSmallRegions changed.
struct RegionCleaning
{
  std::int64_t obstacleSpecks = 0;  //!< obstacle regions turned free
  std::int64_t freeIslands = 0;     //!< free regions turned into obstacles
  std::int64_t pixelsFreed = 0;     //!< pixels of those obstacle regions
  std::int64_t pixelsBlocked = 0;   //!< pixels of those free regions
};

/**
 * @brief Free space with obstacle specks and free islands smaller than
 *        @p minAreaPx pixels removed.
 *
 * Reads @p free: a pixel is free when it is 255, an obstacle otherwise. Then:
 * - every connected obstacle region of fewer than @p minAreaPx pixels
 *   becomes free, obstacles being connected through their four edge
 *   neighbours;
 * - then, on that result, every connected free region of fewer than
 *   @p minAreaPx pixels becomes an obstacle, free pixels being connected
 *   through all eight neighbours.
 * These are the connectivities a Zhang–Suen skeleton sees (8-connected free
 * space, 4-connected holes): two obstacle pixels that only touch at a corner
 * do not stop free space passing between them, so they are two holes, and a
 * free pixel touching a room at a corner belongs to that room. A speck inside
 * an island is freed first and counts toward the island's area. Regions on
 * the image border are treated like any other.
 *
 * @param free      `CV_8UC1`, at most two dimensions; a ROI view is read as an
 *                  image of its own.
 * @param cleaned   Replaced by a new `CV_8UC1` image of @p free's size, 255 free
 *                  and 0 otherwise. May be the same object as @p free.
 * @param minAreaPx Regions with fewer pixels are removed; 0 or 1 removes none
 *                  (the result is then @p free with every value but 255 set
 *                  to 0).
 * @return The number of regions and pixels changed each way.
 * @throws cv::Exception `StsUnsupportedFormat` when @p free is not `CV_8UC1` or
 *         has more than two dimensions, `StsOutOfRange` when @p minAreaPx is
 *         negative, both before @p cleaned is touched.
 * @note Thread safe: keeps no state.
 */
QUORVANE_NAV2_MAPS_EXPORT RegionCleaning
removeSmallRegions(const cv::Mat & free, cv::Mat & cleaned, std::int64_t minAreaPx);

}  // namespace maps
}  // namespace quorvane

#endif  // QUORVANE_NAV2_MAPS__CLEANING_HPP_

#ifndef QUORVANE_NAV2_ALGO_CORE__TOOLS__SKELETON_HPP_
#define QUORVANE_NAV2_ALGO_CORE__TOOLS__SKELETON_HPP_

// The one-pixel skeleton of a map's free space, thinned with the map
// toolkit's Zhang-Suen thinning after removing small specks and islands.

#include <cstdint>

#include <opencv2/core.hpp>

#include "quorvane_nav2_maps/cleaning.hpp"

namespace quorvane
{
namespace tools
{

/// A skeleton of a window of the map, possibly thinned at a coarser scale.
struct Skeleton
{
  cv::Mat image;     //!< `CV_8UC1`, 255 on the skeleton; empty when the map has no free cell
  cv::Point offset;  //!< map pixel of the window's top-left corner
  int scale = 1;     //!< map pixels per skeleton pixel along each axis
  maps::RegionCleaning cleaning;  //!< what was removed before thinning
  int cleaningFrame = 0;          //!< width of the blocked frame the cleaning ran inside, in pixels

  /// Map pixel at the middle of the block that skeleton pixel @p p stands for.
  cv::Point toMap(const cv::Point & p) const
  {
    return offset + p * scale + cv::Point((scale - 1) / 2, (scale - 1) / 2);
  }
};

/**
 * @brief Skeleton of the free cells of @p free.
 *
 * Only the bounding box of the free cells is thinned, padded by one clear
 * pixel so cells on the image border are thinned like any other. First,
 * obstacle specks and free islands of fewer than @p minRegionAreaPx cells are
 * removed from that padded box (maps::removeSmallRegions; everything beyond
 * the box, the padding included, counts as one obstacle region). When the
 * box is longer than @p maxSide (and @p maxSide is not 0), it is then reduced
 * by the smallest integer factor that brings it within @p maxSide; a reduced
 * cell is free only when all the cells it covers are (walls never open;
 * passages narrower than the factor close).
 *
 * @param free            `CV_8UC1`, a map's free image: 255 free, 0 otherwise.
 * @param maxSide         0: always full resolution; otherwise the longest
 *                        side thinned at full resolution, >= 16.
 * @param minRegionAreaPx Smaller regions are removed; 0 or 1: none. Values
 *                        above the box's area remove nothing more and are
 *                        clamped to it, so memory grows with the map only.
 * @param cleaningMs      When given, receives the time the removal took.
 */
Skeleton thinFreeSpace(
  const cv::Mat & free, int maxSide, std::int64_t minRegionAreaPx = 0,
  double * cleaningMs = nullptr);

}  // namespace tools
}  // namespace quorvane

#endif  // QUORVANE_NAV2_ALGO_CORE__TOOLS__SKELETON_HPP_

#ifndef QUORVANE_NAV2_ALGO_CORE__TOOLS__SKELETON_HPP_
#define QUORVANE_NAV2_ALGO_CORE__TOOLS__SKELETON_HPP_

// The one-pixel skeleton of a map's free space, thinned with OpenCV contrib's
// Zhang-Suen thinning. The library does no thinning of its own.

#include <opencv2/core.hpp>

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

  /// Map pixel at the middle of the block that skeleton pixel @p p stands for.
  cv::Point toMap(const cv::Point & p) const
  {
    return offset + p * scale + cv::Point((scale - 1) / 2, (scale - 1) / 2);
  }
};

/**
 * @brief Skeleton of the 255 pixels of @p free.
 *
 * Only the bounding box of the free cells is thinned, padded by one clear
 * pixel so cells on the image border are thinned like any other. When that
 * box is longer than @p maxSide, it is first reduced by the smallest integer
 * factor that brings it within @p maxSide; a reduced cell is free only when
 * all the cells it covers are (walls never open; passages narrower than the
 * factor close). Thinning time grows with the cube of the size, so this keeps
 * very large maps fast.
 *
 * @param free    `CV_8UC1`; 255 marks free space.
 * @param maxSide Longest side thinned at full resolution, >= 16.
 */
Skeleton thinFreeSpace(const cv::Mat & free, int maxSide);

}  // namespace tools
}  // namespace quorvane

#endif  // QUORVANE_NAV2_ALGO_CORE__TOOLS__SKELETON_HPP_

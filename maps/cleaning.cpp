#include "quorvane_nav2_maps/cleaning.hpp"

#include <vector>

#include <opencv2/imgproc.hpp>

namespace quorvane
{
namespace maps
{
namespace
{

/**
 * Sets every pixel of @p image that lies in a nonzero region of @p regions
 * (connected with @p connectivity) of fewer than @p minArea pixels to @p value.
 * Returns the number of such regions and adds their pixels to @p pixels.
 * @p labels is scratch space, kept from one call to the next so that the
 * second labelling of an image reuses the first one's buffer (four bytes a
 * pixel) instead of asking for fresh pages.
 */
std::int64_t fillSmallRegions(
  const cv::Mat & regions, int connectivity, std::int64_t minArea, cv::Mat & image, uchar value,
  std::int64_t & pixels, cv::Mat & labels)
{
  cv::Mat stats, centroids;
  const int count =
    cv::connectedComponentsWithStats(regions, labels, stats, centroids, connectivity, CV_32S);
  std::vector<uchar> small(static_cast<std::size_t>(count), 0);
  std::int64_t removed = 0;
  for (int label = 1; label < count; ++label) {
    const std::int64_t area = stats.at<int>(label, cv::CC_STAT_AREA);
    if (area < minArea) {
      small[static_cast<std::size_t>(label)] = 1;
      ++removed;
      pixels += area;
    }
  }
  if (removed == 0) {
    return 0;
  }
  for (int y = 0; y < labels.rows; ++y) {
    const int * label = labels.ptr<int>(y);
    uchar * out = image.ptr<uchar>(y);
    for (int x = 0; x < labels.cols; ++x) {
      if (small[static_cast<std::size_t>(label[x])] != 0) {
        out[x] = value;
      }
    }
  }
  return removed;
}

}  // namespace

RegionCleaning removeSmallRegions(const cv::Mat & free, cv::Mat & cleaned, std::int64_t minAreaPx)
{
  if (free.type() != CV_8UC1 || free.dims > 2) {
    CV_Error(cv::Error::StsUnsupportedFormat, "cleaning needs a two-dimensional CV_8UC1 image");
  }
  if (minAreaPx < 0) {
    CV_Error(cv::Error::StsOutOfRange, "the minimum region area must not be negative");
  }
  RegionCleaning counts;
  cv::Mat result;
  cv::compare(free, 255, result, cv::CMP_EQ);
  if (minAreaPx > 1 && !result.empty()) {
    cv::Mat obstacles;
    cv::bitwise_not(result, obstacles);
    cv::Mat labels;
    counts.obstacleSpecks =
      fillSmallRegions(obstacles, 4, minAreaPx, result, 255, counts.pixelsFreed, labels);
    obstacles.release();
    // The labels are taken before any pixel is written: result may be both.
    counts.freeIslands =
      fillSmallRegions(result, 8, minAreaPx, result, 0, counts.pixelsBlocked, labels);
  }
  cleaned = result;
  return counts;
}

}  // namespace maps
}  // namespace quorvane

// Scans of byte images shared by the operations: the one check that an image
// is a 2-D CV_8UC1 matrix, and the bounding box of its 255 pixels.
#ifndef QUORVANE_NAV2_ALGO_CORE__IMAGE_SCAN_HPP_
#define QUORVANE_NAV2_ALGO_CORE__IMAGE_SCAN_HPP_

#include <optional>

#include <opencv2/core.hpp>

namespace quorvane
{
namespace image_scan
{

/// Throws cv::Exception (StsUnsupportedFormat) unless @p image is a 2-D
/// CV_8UC1 matrix (an empty one passes). @p what names the argument in the
/// message.
void checkByteImage(const cv::Mat & image, const char * what);

/// Inclusive bounding box of an image's 255 pixels.
struct PixelBox
{
  int minX;
  int minY;
  int maxX;
  int maxY;
};

/**
 * @brief Bounding box of the bytes equal to 255 of a 2-D `CV_8UC1` image,
 *        read through its row step; nothing when no byte is 255 (or the
 *        image is empty).
 *
 * Finds the first and last marked rows, then widens the x extent with the
 * rows in between, searching each row only outside the extent found so far.
 */
std::optional<PixelBox> boxOf255Pixels(const cv::Mat & image);

}  // namespace image_scan
}  // namespace quorvane

#endif  // QUORVANE_NAV2_ALGO_CORE__IMAGE_SCAN_HPP_

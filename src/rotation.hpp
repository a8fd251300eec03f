// The rotation that lays a map's main direction along the x axis, the rotated
// map, and the transform of points back into the source map.
#ifndef QUORVANE_NAV2_ALGO_CORE__ROTATION_HPP_
#define QUORVANE_NAV2_ALGO_CORE__ROTATION_HPP_

#include <vector>

#include <opencv2/core.hpp>

namespace quorvane
{
namespace rotation
{

/// Pivot of a box: the middle of the corners, halved in double and truncated.
cv::Point pivotOfBox(const cv::Point & minPt, const cv::Point & maxPt);

/// A rotation about a pivot and the window of the rotated image.
struct Rotation
{
  cv::Mat matrix;      ///< 2x3 CV_64F, source pixels to rotated-image pixels
  cv::Rect bounds;     ///< size of the rotated image; x, y its top-left in source pixels
  double angle = 0.0;  ///< radians the image is turned by
};

/**
 * @brief The rotation by @p radians about @p pivot whose window is the
 *        bounding box of an image-sized rectangle rotated about the pivot,
 *        re-centred so that the pivot lands in the window's middle.
 * @throws cv::Exception (StsOutOfRange) when that outline does not fit in int
 *         pixel coordinates.
 */
Rotation rotationAbout(const cv::Point & pivot, double radians, cv::Size imageSize);

/**
 * @brief The rotation onto an image's main direction (plus @p extraAngle),
 *        about @p pivot or, when it is null, the middle of the box of the
 *        image's 255 pixels ((INT_MAX, INT_MAX) and (0, 0) when there is none).
 * @throws cv::Exception from OpenCV's edge detection for an image it does not
 *         accept, (StsUnsupportedFormat) when the pivot is needed from an image
 *         that is not CV_8UC1, and what rotationAbout() throws.
 */
Rotation rotationOntoMainDirection(
  const cv::Mat & image, const cv::Point * pivot, double extraAngle);

/**
 * @brief True when every output pixel of an affine warp of @p dstSize maps
 *        (through the inverse of @p sourceToDst) to a source position whose
 *        bilinear taps all lie outside a @p srcSize image.
 */
bool warpMissesSource(const cv::Mat & sourceToDst, cv::Size srcSize, cv::Size dstSize);

/// Throws (before any output is touched) for what the warp and the threshold
/// would reject midway: an empty or not 8-bit image, a matrix that is not a
/// 2x3 of floats, a negative size.
void checkWarpInput(const cv::Mat & image, const cv::Mat & matrix, cv::Size size);

/// Warps a checked 8-bit @p image into @p rotated of @p size and re-binarises
/// it at 127. @p rotated may be @p image.
void warpAndBinarise(
  const cv::Mat & image, const cv::Mat & matrix, cv::Size size, cv::Mat & rotated);

/// Points of the rotated frame mapped back through the inverse of @p matrix.
/// Throws what OpenCV throws for a matrix that is not a 2x3 float matrix.
std::vector<cv::Point2f> transformBack(
  const std::vector<cv::Point2f> & points, const cv::Mat & matrix);

}  // namespace rotation
}  // namespace quorvane

#endif  // QUORVANE_NAV2_ALGO_CORE__ROTATION_HPP_

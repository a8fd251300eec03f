// The rotation that lays a map's main direction along the x axis, the rotated
// map, and the transform of points back into the source map.
#ifndef QUORVANE_NAV2_ALGO_CORE__ROTATION_HPP_
#define QUORVANE_NAV2_ALGO_CORE__ROTATION_HPP_

#include <climits>
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
/// 2x3 of floats, a negative size; and (StsOutOfRange) for a matrix that is
/// not finite or whose inverse scales by more than 2^20 or shifts by more
/// than 2^40 pixels, whose source positions the warp cannot represent.
void checkWarpInput(const cv::Mat & image, const cv::Mat & matrix, cv::Size size);

/// Largest side of a source image that OpenCV's affine warp accepts: its
/// remap asserts sides below SHRT_MAX, as it keeps source pixel coordinates
/// in 16 bits.
constexpr int kMaxWarpSourceSide = SHRT_MAX - 1;

/**
 * @brief cv::warpAffine(image, warped, matrix, size, INTER_LINEAR,
 *        BORDER_CONSTANT, 0) at any size, pixel for pixel.
 *
 * A window clear of the source is filled with zeros. A source with both sides
 * at most @p maxSourceSide, whose window maps into source positions within
 * +-2^19 (where the warp's 32-bit fixed point cannot overflow), goes to
 * cv::warpAffine. Otherwise the window is warped tile by tile: for every
 * destination tile the source positions are computed as cv::warpAffine does
 * (the inverse matrix, positions in 1/1024 pixel rounded per row and per
 * column, then 5 bits of fraction), but in 64 bits, and cv::remap reads them
 * from the crop of the source that the tile's bilinear taps reach. Tiles are
 * at most 1024 pixels on a side and small enough that every crop has sides
 * of at most @p maxSourceSide. The pixels are then those cv::warpAffine
 * gives wherever it can run.
 *
 * @param image         May be @p warped itself.
 * @param matrix        Checked (checkWarpInput()); a non-finite one gives
 *                      zeros beyond cv::warpAffine's limits.
 * @param size          An empty size means the image's size, as for OpenCV.
 * @param maxSourceSide 16 .. kMaxWarpSourceSide; smaller values force tiles.
 */
void warpBilinear(
  const cv::Mat & image, const cv::Mat & matrix, cv::Size size, cv::Mat & warped,
  int maxSourceSide = kMaxWarpSourceSide);

/// Warps a checked 8-bit @p image into @p rotated of @p size with
/// warpBilinear() and re-binarises it at 127. @p rotated may be @p image.
void warpAndBinarise(
  const cv::Mat & image, const cv::Mat & matrix, cv::Size size, cv::Mat & rotated,
  int maxSourceSide = kMaxWarpSourceSide);

/// Points of the rotated frame mapped back through the inverse of @p matrix.
/// Throws what OpenCV throws for a matrix that is not a 2x3 float matrix.
std::vector<cv::Point2f> transformBack(
  const std::vector<cv::Point2f> & points, const cv::Mat & matrix);

}  // namespace rotation
}  // namespace quorvane

#endif  // QUORVANE_NAV2_ALGO_CORE__ROTATION_HPP_

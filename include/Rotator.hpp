#ifndef QUORVANE_NAV2_ALGO_CORE__ROTATOR_HPP_
#define QUORVANE_NAV2_ALGO_CORE__ROTATOR_HPP_

#include <vector>

#include <opencv2/core.hpp>

#include "quorvane_nav2_algo_core_export.hpp"

/**
 * @brief Image alignment: the dominant wall direction of a map, the rotation
 *        that lays it along the x axis, the rotated map, and the transform of
 *        points found in the rotated map back into the source map.
 *
 * Stateless. Angles at this interface are radians in OpenCV's image
 * convention (y down): a direction is measured from +x toward +y, and a
 * positive rotation turns the image counter-clockwise as displayed. All
 * methods may be called from any number of threads on distinct outputs.
 */
class QUORVANE_NAV2_ALGO_CORE_EXPORT Rotator
{
public:
  /**
   * @brief Dominant direction of the straight edges in @p image, in [0, pi].
   *
   * Canny edges (50, 150), probabilistic Hough segments with a falling vote
   * threshold (20, 16, 12, 8, 4; minimum length t, maximum gap 1.5 t; stops at
   * four or more segments), a length-weighted histogram of 36 bins of 5
   * degrees, and the length-weighted mean direction inside the heaviest bin
   * (lowest bin on ties). Bins 0 and 35 are not pooled.
   *
   * Any size: an image of at most 32767 pixels per side is searched for
   * segments at once. A wider or taller one (beyond what OpenCV's Hough
   * transform can walk) is searched in the fewest even tiles of at most
   * 32767 x 32767, each tile's segments taken in image coordinates and the
   * ladder counting the segments of all tiles; a segment crossing a tile
   * border counts as its pieces (those shorter than the minimum length are
   * lost), which weigh about what it weighs.
   *
   * @param image Read only, 8-bit.
   * @return Radians in [0, pi]; 0.0 when no segment is found.
   * @throws cv::Exception from OpenCV for an image Canny does not accept.
   */
  double computeImageMainDirection(const cv::Mat & image);

  /**
   * @brief Bounding box of the pixels equal to 255.
   *
   * @param image Read only, `CV_8UC1`, read through its row step (ROI views
   *              give the same answer as a continuous copy).
   * @param minPt Overwritten: the smallest x and y of a 255 pixel, or
   *              (INT_MAX, INT_MAX) when there is none.
   * @param maxPt Overwritten: the largest x and y of a 255 pixel, or (0, 0)
   *              when there is none.
   * @throws cv::Exception (StsUnsupportedFormat) for an image that is not
   *         `CV_8UC1`, before either output is touched.
   */
  void getMinMaxCoordinates(const cv::Mat & image, cv::Point & minPt, cv::Point & maxPt);

  /**
   * @brief Rotation that lays the main direction (plus @p extraAngle) along
   *        the x axis, and the size of the rotated image.
   *
   * The pivot is @p center when given, otherwise the middle of the 255 pixels'
   * bounding box (integer sum, halved, truncated). The rotated image's window
   * is the bounding box of an image-sized rectangle rotated about the pivot,
   * and the matrix is re-centred so the pivot lands in its middle.
   *
   * @param image          Read only, `CV_8UC1`.
   * @param rotationMatrix Replaced by a fresh 2x3 `CV_64F` matrix mapping
   *                       source pixels to rotated-image pixels.
   * @param bounds         Overwritten: width and height are the rotated
   *                       image's size; x and y the integer top-left of the
   *                       rotated outline in source coordinates.
   * @param center         Pivot in source pixels, or null for the marked
   *                       pixels' centre. Used unchanged, even outside the
   *                       image.
   * @param extraAngle     Radians added to the main direction.
   * @return The total rotation, extraAngle + main direction, in radians.
   *         Any image size (see computeImageMainDirection()).
   * @throws cv::Exception from OpenCV for an image it does not accept, and
   *         (StsOutOfRange) when the rotated outline does not fit in int
   *         pixel coordinates (a pivot near the int limits, a non-finite
   *         angle); in both cases before either output is touched.
   */
  double computeImageRotationMatrix(
    const cv::Mat & image, cv::Mat & rotationMatrix, cv::Rect & bounds, const cv::Point * center,
    double extraAngle);

  /**
   * @brief Warps @p image with @p rotationMatrix into an image of the bounds'
   *        size and re-binarises it at 127 (every pixel 0 or 255).
   *
   * The warp is bilinear with a zero border, pixel for pixel OpenCV's
   * `cv::warpAffine`, at any size: where OpenCV cannot run it (a source side
   * above 32766 pixels, or a window mapping more than 2^19 pixels away) the
   * output is warped in tiles, each from the crop of the source it reads,
   * with OpenCV's fixed-point source positions computed in 64 bits.
   *
   * @param image          Read only, `CV_8UC1`. May be the same object as
   *                       @p rotatedImage.
   * @param rotatedImage   Replaced by the rotated map.
   * @param rotationMatrix 2x3 source-to-rotated matrix (`CV_64F` or `CV_32F`).
   * @param bounds         Only width and height are used.
   * @throws cv::Exception (StsUnsupportedFormat) for an empty or not 8-bit
   *         image, (StsBadArg) for a matrix that is not 2x3 `CV_64F`/`CV_32F`,
   *         (StsOutOfRange) for a matrix that is not finite or so nearly
   *         singular that its inverse scales by more than 2^20 or shifts by
   *         more than 2^40 pixels, (StsOutOfRange) for a negative bounds size;
   *         all before @p rotatedImage is touched.
   */
  void rotateImage(
    const cv::Mat & image, cv::Mat & rotatedImage, const cv::Mat & rotationMatrix,
    const cv::Rect & bounds);

  /**
   * @brief Appends the points of @p input, unchanged and in order, to
   *        @p output.
   *
   * @param input  Read only. Must not be the same vector as @p output (use
   *               the one-argument form for that).
   * @param output Appended to; its previous points stay in front.
   */
  void transformPointPathToPosePath(
    const std::vector<cv::Point2f> & input, std::vector<cv::Point2f> & output);

  /**
   * @brief In-place form: @p path ends with the same points in the same order.
   */
  void transformPointPathToPosePath(std::vector<cv::Point2f> & path);

  /**
   * @brief Maps points of the rotated frame back into the source frame with
   *        the inverse of @p rotationMatrix.
   *
   * @param input          Read only, points in the rotated image's frame.
   *                       May be the same vector as @p output.
   * @param output         Replaced: emptied first, then holds the transformed
   *                       points in input order. An empty input gives an
   *                       empty output.
   * @param rotationMatrix The 2x3 matrix of computeImageRotationMatrix().
   * @throws cv::Exception from OpenCV for a matrix that is not a 2x3 of
   *         `CV_32F` or `CV_64F`; @p output is then empty. A singular matrix
   *         does not throw: OpenCV inverts it to zeros, so every point comes
   *         back as (0, 0).
   */
  void transformPathBackToOriginalRotation(
    const std::vector<cv::Point2f> & input, std::vector<cv::Point2f> & output,
    const cv::Mat & rotationMatrix);
};

#endif  // QUORVANE_NAV2_ALGO_CORE__ROTATOR_HPP_

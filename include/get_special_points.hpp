#ifndef QUORVANE_NAV2_ALGO_CORE__GET_SPECIAL_POINTS_HPP_
#define QUORVANE_NAV2_ALGO_CORE__GET_SPECIAL_POINTS_HPP_

#include <vector>

#include <opencv2/core.hpp>

#include "quorvane_nav2_algo_core_export.hpp"

/**
 * @brief Map feature extraction: skeleton junctions, the largest cell-tiled
 *        rectangle of a map, and the test of one cell.
 *
 * The object owns one scratch image, @ref mask, written only by
 * completeCellTest() (and so by getInnerRect()). SkeletonGetJunctionPt() uses
 * no member and may run on one object from several threads at once;
 * getInnerRect() and completeCellTest() must not overlap on one object.
 */
class QUORVANE_NAV2_ALGO_CORE_EXPORT get_special_points
{
public:
  /// Constructs the object with an empty @ref mask.
  get_special_points();
  /// Releases @ref mask.
  ~get_special_points();

  /**
   * @brief The two farthest-apart junction pixels of a skeleton image.
   *
   * A junction pixel is a set (nonzero) pixel with three set neighbours in one
   * of twelve branch shapes: a Y (two diagonal arms and the straight arm
   * opposite them), two straight arms at a right angle with the diagonal arm
   * opposite their corner, or three diagonal arms. Pixels outside the image,
   * and outside a ROI view, count as clear. The library does no thinning:
   * the caller supplies the skeleton.
   *
   * @param skeleton  Read only. `CV_8UC1`; any nonzero value counts as set.
   *                  ROI views are read through their row step.
   * @param junctions Replaced. On return it holds exactly two points P1, P2 in
   *                  the image's coordinates: the pair of junction pixels at the
   *                  greatest (exact) distance, P1 before P2 in raster order;
   *                  among equally distant pairs the first in raster pair order.
   *                  With fewer than two junction pixels, or an empty image, it
   *                  holds (0, 0), (0, 0).
   * @return Always 0.
   * @throws cv::Exception (StsUnsupportedFormat) if @p skeleton is not
   *         `CV_8UC1`; @p junctions is then empty.
   * @note Thread safe: uses no member of the object.
   */
  int SkeletonGetJunctionPt(const cv::Mat & skeleton, std::vector<cv::Point> & junctions);

  /**
   * @brief Closed outline of the largest rectangle, aligned with the map's
   *        main direction, that square cells of side @p cellSize tile inside
   *        the map's free (255) area.
   *
   * The map is rotated so that its main direction lies along x (see
   * Rotator::computeImageRotationMatrix and Rotator::rotateImage), eroded by
   * half a cell, covered with a grid of cells whose centres start half a cell
   * inside the box of its 255 pixels, and each cell is tested with
   * completeCellTest(). The largest block of passing cells is returned as the
   * centres of its four corner cells, mapped back into the map's frame. Maps
   * of any size, also beyond 32767 pixels per side (see
   * Rotator::computeImageMainDirection and Rotator::rotateImage).
   *
   * @param map      Read only. `CV_8UC1`; free area is 255.
   * @param rectPath Replaced only when a rectangle is found: then it holds five
   *                 points (top-left, top-right, bottom-right, bottom-left,
   *                 top-left again, as seen in the rotated frame). Left exactly
   *                 as passed when the map is empty, holds no 255 pixel, is too
   *                 small for a row of cells, or no cell passes.
   * @param cellSize Cell side in pixels; its floor is the grid pitch. Must be
   *                 finite, at least 1 and have a floor of at most 65535.
   * @throws cv::Exception (StsOutOfRange) for a bad @p cellSize, then
   *         (StsUnsupportedFormat) for a map that is not `CV_8UC1`; both
   *         before any work, with @p rectPath untouched.
   * @note Rewrites @ref mask through completeCellTest(); not thread safe on one
   *       object, independent across objects.
   */
  void getInnerRect(const cv::Mat & map, std::vector<cv::Point2f> & rectPath, double cellSize);

  /**
   * @brief Whether a square window of @p image centred on @p center holds a
   *        255 pixel.
   *
   * The window covers rows y - side/2 ... y - side/2 + side - 1 and the same
   * columns around x (symmetric for odd sides; one pixel more up and left for
   * even sides). Positions outside the image are skipped.
   *
   * @param image  Read only. `CV_8UC1`; only 255 counts. May share pixels
   *               with @ref mask (it is then read from a copy).
   * @param center Window centre (x = column, y = row); never modified. A centre
   *               outside the image is allowed and counts as "not 255".
   * @param side   Window side, 0 to 65535.
   * @return True when the centre pixel is 255 (shortcut: @ref mask untouched),
   *         otherwise true exactly when some in-image window pixel is 255.
   *         Side 0 with a centre that is not 255 gives false.
   * @post When the shortcut is not taken, @ref mask is side x side `CV_8UC1`,
   *       255 exactly at the window's in-image 255 pixels and 0 elsewhere; its
   *       storage is zeroed in place when it already has that size and
   *       reallocated otherwise.
   * @throws cv::Exception (StsOutOfRange) for a side below 0 or above 65535,
   *         (StsUnsupportedFormat) for an image that is not `CV_8UC1`; both
   *         before the image is read, with @ref mask untouched.
   * @note Writes @ref mask: not thread safe on one object.
   */
  bool completeCellTest(const cv::Mat & image, cv::Point & center, int side);

  //! Scratch image of the last cell test that got past the centre shortcut
  //! (see completeCellTest()); empty after construction.
  cv::Mat mask;
};

#endif  // QUORVANE_NAV2_ALGO_CORE__GET_SPECIAL_POINTS_HPP_

#ifndef QUORVANE_NAV2_MAPS__THINNING_HPP_
#define QUORVANE_NAV2_MAPS__THINNING_HPP_

// Zhang–Suen thinning of a binary image, with work proportional to the pixels
// it removes rather than to the image area times the number of iterations.

#include <opencv2/core.hpp>

#include "quorvane_nav2_maps/export.hpp"

namespace quorvane
{
namespace maps
{

/**
 * @brief Zhang–Suen thinning, pixel for pixel the result of OpenCV contrib's
 *        `cv::ximgproc::thinning(src, dst, cv::ximgproc::THINNING_ZHANGSUEN)`
 *        (OpenCV 4.6).
 *
 * Reads @p src: a pixel is set when its value is 128 or more (the value
 * divided by 255, rounded), clear otherwise. The pixels of the image's
 * outermost rows and columns are never removed, but they count as neighbours
 * of the pixels inside; pad the image with a clear border to thin objects that
 * touch its edge like any other. The two sub-iterations of the rule remove
 * pixels in parallel and alternate until neither removes one.
 *
 * Pixels are judged 64 at a time, one bit each, with a few dozen bitwise
 * operations. The first two sub-iterations judge the whole image; later ones
 * only the words of 64 pixels next to a pixel removed in one of the two
 * before: time grows with the area plus the number of removed pixels, memory
 * is at most about half a byte per pixel besides @p dst.
 *
 * @param src `CV_8UC1`, at most two dimensions; a ROI view is read as an
 *            image of its own (pixels around the view are not read). May be
 *            empty: @p dst is then empty too.
 * @param dst Replaced by a new continuous `CV_8UC1` image of @p src's size,
 *            255 on the skeleton and 0 elsewhere (assigned as a new matrix, as
 *            OpenCV does: a view passed in is re-pointed, not written into).
 *            May be the same object as @p src.
 * @throws cv::Exception `StsUnsupportedFormat` when @p src is not `CV_8UC1`
 *         or has more than two dimensions, before @p dst is touched.
 * @note Thread safe: keeps no state; concurrent calls on distinct outputs are
 *       independent.
 */
QUORVANE_NAV2_MAPS_EXPORT void thinZhangSuen(const cv::Mat & src, cv::Mat & dst);

}  // namespace maps
}  // namespace quorvane

#endif  // QUORVANE_NAV2_MAPS__THINNING_HPP_

// The test of one cell: does a square window of a map hold a 255 pixel?
#ifndef QUORVANE_NAV2_ALGO_CORE__CELL_TEST_HPP_
#define QUORVANE_NAV2_ALGO_CORE__CELL_TEST_HPP_

#include <opencv2/core.hpp>

namespace quorvane
{
namespace cell_test
{

/// Largest window side the cell test accepts.
constexpr int kMaxCellSide = 65535;

/// Throws cv::Exception (StsOutOfRange) unless 0 <= side <= kMaxCellSide.
void checkCellSide(int side);

/// Whether (x, y) lies inside the image and the pixel there is 255.
bool isInsideAnd255(const cv::Mat & image, const cv::Point & pixel);

/// Makes @p mask a side x side CV_8UC1 matrix of zeros: cleared in place
/// with setTo when it already has that shape and type, reallocated otherwise.
void resetMask(cv::Mat & mask, int side);

/// Scans the side x side window whose top-left pixel is centre - side / 2,
/// skipping positions outside the image, and writes 255 into the
/// corresponding element of @p mask (already side x side, zeroed) for every
/// 255 pixel. Returns whether there was one. Coordinates may be anywhere in
/// the int range.
bool mark255InWindow(const cv::Mat & image, const cv::Point & centre, int side, cv::Mat & mask);

/**
 * @brief The cell test on a checked CV_8UC1 image and side: true when the
 *        centre pixel is 255 (@p mask untouched), otherwise @p mask is reset
 *        to the window and the result says whether it holds a 255 pixel.
 *
 * An image sharing pixels with @p mask is read from a copy, since the mask is
 * cleared before the window is scanned.
 */
bool testCell(const cv::Mat & image, const cv::Point & centre, int side, cv::Mat & mask);

}  // namespace cell_test
}  // namespace quorvane

#endif  // QUORVANE_NAV2_ALGO_CORE__CELL_TEST_HPP_

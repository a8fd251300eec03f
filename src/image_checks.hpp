// Input checks shared by the operations that read maps one byte per pixel.
#ifndef QUORVANE_NAV2_ALGO_CORE__IMAGE_CHECKS_HPP_
#define QUORVANE_NAV2_ALGO_CORE__IMAGE_CHECKS_HPP_

#include <opencv2/core.hpp>

namespace quorvane
{
namespace detail
{

/// Throws cv::Exception (StsUnsupportedFormat) unless @p image is a 2-D
/// CV_8UC1 matrix (an empty one passes). @p what names the argument in the
/// message.
inline void checkByteImage(const cv::Mat & image, const char * what)
{
  if (image.dims > 2 || image.type() != CV_8UC1) {
    CV_Error_(
      cv::Error::StsUnsupportedFormat, ("%s must be a 2-D CV_8UC1 image, got %s with %d dimensions",
                                        what, cv::typeToString(image.type()).c_str(), image.dims));
  }
}

}  // namespace detail
}  // namespace quorvane

#endif  // QUORVANE_NAV2_ALGO_CORE__IMAGE_CHECKS_HPP_

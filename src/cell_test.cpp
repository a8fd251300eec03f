#include "cell_test.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace quorvane
{
namespace cell_test
{

void checkCellSide(int side)
{
  if (side < 0 || side > kMaxCellSide) {
    CV_Error_(
      cv::Error::StsOutOfRange, ("cell side must lie in [0, %d], got %d", kMaxCellSide, side));
  }
}

bool isInsideAnd255(const cv::Mat & image, const cv::Point & pixel)
{
  return pixel.x >= 0 && pixel.y >= 0 && pixel.x < image.cols && pixel.y < image.rows &&
         image.ptr<std::uint8_t>(pixel.y)[pixel.x] == 255;
}

void resetMask(cv::Mat & mask, int side)
{
  if (mask.rows == side && mask.cols == side && mask.type() == CV_8UC1) {
    mask.setTo(cv::Scalar(0));
  } else {
    mask = cv::Mat::zeros(side, side, CV_8UC1);
  }
}

bool mark255InWindow(const cv::Mat & image, const cv::Point & centre, int side, cv::Mat & mask)
{
  // The window in image coordinates, then clipped to the image (64-bit: the
  // centre may be anywhere in the int range).
  const std::int64_t top = std::int64_t{centre.y} - side / 2;
  const std::int64_t left = std::int64_t{centre.x} - side / 2;
  const std::int64_t rowBegin = std::max<std::int64_t>(top, 0);
  const std::int64_t rowEnd = std::min<std::int64_t>(top + side, image.rows);
  const std::int64_t colBegin = std::max<std::int64_t>(left, 0);
  const std::int64_t colEnd = std::min<std::int64_t>(left + side, image.cols);

  if (rowBegin >= rowEnd || colBegin >= colEnd) {
    return false;
  }
  const auto width = static_cast<std::size_t>(colEnd - colBegin);
  std::uint8_t any255 = 0;
  for (std::int64_t y = rowBegin; y < rowEnd; ++y) {
    const std::uint8_t * src = image.ptr<std::uint8_t>(static_cast<int>(y)) + colBegin;
    std::uint8_t * dst = mask.ptr<std::uint8_t>(static_cast<int>(y - top)) + (colBegin - left);
    for (std::size_t i = 0; i < width; ++i) {
      // Branch-free so the row loop vectorises; the mask is already zero.
      const std::uint8_t mark = src[i] == 255 ? 255 : 0;
      dst[i] = mark;
      any255 |= mark;
    }
  }
  return any255 != 0;
}

bool testCell(const cv::Mat & image, const cv::Point & centre, int side, cv::Mat & mask)
{
  if (isInsideAnd255(image, centre)) {
    return true;
  }
  const bool sharesMask = image.data != nullptr && mask.data != nullptr &&
                          image.datastart < mask.dataend && mask.datastart < image.dataend;
  const cv::Mat source = sharesMask ? image.clone() : image;
  resetMask(mask, side);
  return mark255InWindow(source, centre, side, mask);
}

}  // namespace cell_test
}  // namespace quorvane

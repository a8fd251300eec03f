#include "image_scan.hpp"

#include <algorithm>
#include <cstring>

#include "portability.hpp"

namespace quorvane
{
namespace image_scan
{
namespace
{

constexpr uchar kMarked = 255;

/// First index in [begin, end) whose byte is 255, or end when there is none.
int firstMarkedIn(const uchar * row, int begin, int end)
{
  if (begin >= end) {
    return end;
  }
  const void * hit = std::memchr(row + begin, kMarked, static_cast<size_t>(end - begin));
  return hit == nullptr ? end : static_cast<int>(static_cast<const uchar *>(hit) - row);
}

/// Last index in [begin, end) whose byte is 255, or begin - 1 when there is none.
int lastMarkedIn(const uchar * row, int begin, int end)
{
  if (begin >= end) {
    return begin - 1;
  }
  const uchar * hit =
    portable::lastByteEqual(row + begin, static_cast<size_t>(end - begin), kMarked);
  return hit == nullptr ? begin - 1 : static_cast<int>(hit - row);
}

}  // namespace

void checkByteImage(const cv::Mat & image, const char * what)
{
  if (image.dims > 2 || image.type() != CV_8UC1) {
    CV_Error_(
      cv::Error::StsUnsupportedFormat, ("%s must be a 2-D CV_8UC1 image, got %s with %d dimensions",
                                        what, cv::typeToString(image.type()).c_str(), image.dims));
  }
}

std::optional<PixelBox> boxOf255Pixels(const cv::Mat & image)
{
  const int rows = image.rows;
  const int cols = image.cols;
  if (image.empty()) {
    return std::nullopt;
  }
  // The first marked row from the top.
  int top = 0;
  int minX = cols;
  for (; top < rows; ++top) {
    minX = firstMarkedIn(image.ptr<uchar>(top), 0, cols);
    if (minX < cols) {
      break;
    }
  }
  if (top == rows) {
    return std::nullopt;
  }
  int maxX = lastMarkedIn(image.ptr<uchar>(top), minX, cols);
  // The last marked row from the bottom (the top row when no other is marked).
  int bottom = rows - 1;
  for (; bottom > top; --bottom) {
    const uchar * row = image.ptr<uchar>(bottom);
    const int last = lastMarkedIn(row, 0, cols);
    if (last >= 0) {
      maxX = std::max(maxX, last);
      minX = std::min(minX, firstMarkedIn(row, 0, last + 1));
      break;
    }
  }
  // Rows in between can only widen the x extent: search outside it.
  for (int y = top + 1; y < bottom; ++y) {
    const uchar * row = image.ptr<uchar>(y);
    minX = firstMarkedIn(row, 0, minX);
    maxX = std::max(maxX, lastMarkedIn(row, maxX + 1, cols));
  }
  return PixelBox{minX, top, maxX, bottom};
}

}  // namespace image_scan
}  // namespace quorvane

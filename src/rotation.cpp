#include "rotation.hpp"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <optional>

#include <opencv2/imgproc.hpp>

#include "direction.hpp"
#include "image_scan.hpp"

namespace quorvane
{
namespace rotation
{
namespace
{

/// Integer bounding box of a rotated outline, refused when the corners or the
/// box size do not fit in 32-bit pixel coordinates (the integer conversions
/// of RotatedRect::boundingRect would overflow).
cv::Rect boundingRectOfOutline(const cv::RotatedRect & outline)
{
  std::array<cv::Point2f, 4> corners;
  outline.points(corners.data());
  bool fits = true;
  for (int axis = 0; axis < 2; ++axis) {
    double lo = HUGE_VAL;
    double hi = -HUGE_VAL;
    for (const cv::Point2f & corner : corners) {
      const double v = axis == 0 ? corner.x : corner.y;
      fits = fits && std::isfinite(v);
      lo = std::min(lo, std::floor(v));
      hi = std::max(hi, std::ceil(v));
    }
    fits = fits && lo > INT_MIN && hi <= INT_MAX && hi - lo + 1.0 <= INT_MAX;
  }
  if (!fits) {
    CV_Error(
      cv::Error::StsOutOfRange,
      "the rotated image's outline does not fit in 32-bit pixel coordinates (centre or angle)");
  }
  return outline.boundingRect();
}

}  // namespace

cv::Point pivotOfBox(const cv::Point & minPt, const cv::Point & maxPt)
{
  // Sums in 64 bits equal the 32-bit sums wherever those do not overflow;
  // the halving is in double and the conversion truncates toward zero.
  const auto middle = [](int lo, int hi) {
    return static_cast<int>(static_cast<double>(std::int64_t{lo} + hi) * 0.5);
  };
  return {middle(minPt.x, maxPt.x), middle(minPt.y, maxPt.y)};
}

Rotation rotationAbout(const cv::Point & pivot, double radians, cv::Size imageSize)
{
  const cv::Point2f pivotF(static_cast<float>(pivot.x), static_cast<float>(pivot.y));
  // OpenCV takes degrees.
  const double degrees = (radians * 180.0) / CV_PI;
  cv::Mat matrix = cv::getRotationMatrix2D(pivotF, degrees, 1.0);
  // The window: an image-sized rectangle centred on the pivot, rotated.
  const cv::Rect window = boundingRectOfOutline(cv::RotatedRect(
    pivotF, cv::Size2f(static_cast<float>(imageSize.width), static_cast<float>(imageSize.height)),
    static_cast<float>(degrees)));
  // Re-centre: the pivot lands in the middle of the window.
  matrix.at<double>(0, 2) += window.width * 0.5 - pivot.x;
  matrix.at<double>(1, 2) += window.height * 0.5 - pivot.y;
  return {matrix, window, radians};
}

Rotation rotationOntoMainDirection(
  const cv::Mat & image, const cv::Point * pivot, double extraAngle)
{
  const double theta = extraAngle + direction::mainDirection(image);
  if (pivot != nullptr) {
    return rotationAbout(*pivot, theta, image.size());
  }
  image_scan::checkByteImage(image, "getMinMaxCoordinates: the image");
  const std::optional<image_scan::PixelBox> box = image_scan::boxOf255Pixels(image);
  const cv::Point middle = box ? pivotOfBox({box->minX, box->minY}, {box->maxX, box->maxY})
                               : pivotOfBox({INT_MAX, INT_MAX}, {0, 0});
  return rotationAbout(middle, theta, image.size());
}

bool warpMissesSource(const cv::Mat & sourceToDst, cv::Size srcSize, cv::Size dstSize)
{
  // The warp inverts the matrix in double precision the same way.
  cv::Mat forward;
  sourceToDst.convertTo(forward, CV_64F);
  cv::Mat inverse;
  cv::invertAffineTransform(forward, inverse);
  const auto * m = inverse.ptr<double>(0);
  const auto * n = inverse.ptr<double>(1);
  // The destination pixels map into the parallelogram spanned by the images
  // of its four corner pixels; its bounding box is enough.
  const double xs[2] = {0.0, dstSize.width - 1.0};
  const double ys[2] = {0.0, dstSize.height - 1.0};
  double loX = HUGE_VAL;
  double hiX = -HUGE_VAL;
  double loY = HUGE_VAL;
  double hiY = -HUGE_VAL;
  for (double x : xs) {
    for (double y : ys) {
      const double sx = m[0] * x + m[1] * y + m[2];
      const double sy = n[0] * x + n[1] * y + n[2];
      if (!std::isfinite(sx) || !std::isfinite(sy)) {
        return false;
      }
      loX = std::min(loX, sx);
      hiX = std::max(hiX, sx);
      loY = std::min(loY, sy);
      hiY = std::max(hiY, sy);
    }
  }
  // Bilinear taps at floor(s) and floor(s) + 1 reach a source pixel only for
  // -1 < s < size; one more pixel of margin covers the fixed-point rounding.
  return hiX < -2.0 || loX > srcSize.width + 1.0 || hiY < -2.0 || loY > srcSize.height + 1.0;
}

void checkWarpInput(const cv::Mat & image, const cv::Mat & matrix, cv::Size size)
{
  if (image.empty() || image.dims > 2 || image.depth() != CV_8U) {
    CV_Error_(
      cv::Error::StsUnsupportedFormat,
      ("rotateImage: the image must be a non-empty 2-D 8-bit image, got %s with %d dims",
       cv::typeToString(image.type()).c_str(), image.dims));
  }
  if (
    matrix.rows != 2 || matrix.cols != 3 ||
    (matrix.type() != CV_64FC1 && matrix.type() != CV_32FC1)) {
    CV_Error_(
      cv::Error::StsBadArg,
      ("rotateImage: the rotation matrix must be 2x3 CV_64F or CV_32F, got %dx%d %s", matrix.rows,
       matrix.cols, cv::typeToString(matrix.type()).c_str()));
  }
  if (size.width < 0 || size.height < 0) {
    CV_Error_(
      cv::Error::StsOutOfRange,
      ("rotateImage: negative bounds size %d x %d", size.width, size.height));
  }
}

void warpAndBinarise(
  const cv::Mat & image, const cv::Mat & matrix, cv::Size size, cv::Mat & rotated)
{
  // A warp whose whole window maps outside the source yields only the zero
  // border; producing it directly also keeps far-away pivots out of the
  // warp's fixed-point coordinate arithmetic.
  if (!size.empty() && warpMissesSource(matrix, image.size(), size)) {
    rotated.create(size, image.type());
    rotated.setTo(cv::Scalar::all(0));
  } else {
    // Bilinear: OpenCV's warpAffine has no area interpolation and treats
    // INTER_AREA as INTER_LINEAR; the flag is kept as the callers know it.
    cv::warpAffine(image, rotated, matrix, size, cv::INTER_AREA, cv::BORDER_CONSTANT, cv::Scalar());
  }
  // Back to two levels: above 127 becomes 255, the rest 0.
  cv::threshold(rotated, rotated, 127.0, 255.0, cv::THRESH_BINARY);
}

std::vector<cv::Point2f> transformBack(
  const std::vector<cv::Point2f> & points, const cv::Mat & matrix)
{
  cv::Mat inverse;
  cv::invertAffineTransform(matrix, inverse);
  // The points as a column of CV_32FC2, written into a vector of the same
  // length through a matching view, so the transform does not reallocate.
  std::vector<cv::Point2f> transformed(points.size());
  if (!points.empty()) {
    cv::Mat column(transformed);
    cv::transform(cv::Mat(points), column, inverse);
    CV_DbgAssert(column.data == reinterpret_cast<uchar *>(transformed.data()));
  }
  return transformed;
}

}  // namespace rotation
}  // namespace quorvane

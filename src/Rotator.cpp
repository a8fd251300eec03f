#include "Rotator.hpp"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "image_checks.hpp"
#include "rotator_internal.hpp"

namespace quorvane
{
namespace detail
{

namespace
{

constexpr double kPi = 3.141592653589793;
constexpr double kInvPi = 0.3183098861837907;
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
#ifdef __GLIBC__
  const void * hit = memrchr(row + begin, kMarked, static_cast<size_t>(end - begin));
  return hit == nullptr ? begin - 1 : static_cast<int>(static_cast<const uchar *>(hit) - row);
#else
  int x = end - 1;
  while (x >= begin && row[x] != kMarked) {
    --x;
  }
  return x;
#endif
}

}  // namespace

double foldedDirection(double dx, double dy)
{
  double phi = std::atan2(dy, dx);
  while (phi < 0.0) {
    phi += kPi;
  }
  while (phi > kPi) {
    phi -= kPi;
  }
  return phi;
}

int directionBin(double phi)
{
  // trunc(phi / pi * 36), evaluated left to right, capped at the last bin.
  const double scaled = phi * kInvPi * 36;
  if (scaled >= kDirectionBins - 1) {
    return kDirectionBins - 1;
  }
  return scaled > 0.0 ? static_cast<int>(scaled) : 0;
}

void DirectionHistogram::addSegment(const cv::Vec4i & segment)
{
  // 64-bit differences: the same as 32-bit ones for any pixel coordinates.
  const auto dx = static_cast<double>(int64_t{segment[2]} - segment[0]);
  const auto dy = static_cast<double>(int64_t{segment[3]} - segment[1]);
  const double squaredLength = dy * dy + dx * dx;
  if (!(squaredLength > 0.0)) {
    return;
  }
  add(foldedDirection(dx, dy), std::sqrt(squaredLength));
}

void DirectionHistogram::add(double phi, double length)
{
  const auto bin = static_cast<size_t>(directionBin(phi));
  totalLength_[bin] += length;
  weightedAngleSum_[bin] += phi * length;
}

int DirectionHistogram::heaviestBin() const
{
  int best = 0;
  double bestTotal = 0.0;
  for (int bin = 0; bin < kDirectionBins; ++bin) {
    if (totalLength_[static_cast<size_t>(bin)] > bestTotal) {
      bestTotal = totalLength_[static_cast<size_t>(bin)];
      best = bin;
    }
  }
  return best;
}

double DirectionHistogram::meanDirectionOfHeaviestBin() const
{
  const auto bin = static_cast<size_t>(heaviestBin());
  const double weight = totalLength_[bin];
  return weight != 0.0 ? weightedAngleSum_[bin] / weight : 0.0;
}

bool boundingBoxOfMarked(const cv::Mat & image, cv::Point & minPt, cv::Point & maxPt)
{
  const int rows = image.rows;
  const int cols = image.cols;
  // 1. first marked row from the top
  int top = 0;
  int minX = cols;
  for (; top < rows; ++top) {
    minX = firstMarkedIn(image.ptr<uchar>(top), 0, cols);
    if (minX < cols) {
      break;
    }
  }
  if (top == rows) {
    return false;
  }
  int maxX = lastMarkedIn(image.ptr<uchar>(top), minX, cols);
  // 2. last marked row from the bottom (the top row when no other is marked)
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
  // 3. rows in between can only widen the x extent: search outside it
  for (int y = top + 1; y < bottom; ++y) {
    const uchar * row = image.ptr<uchar>(y);
    minX = firstMarkedIn(row, 0, minX);
    maxX = std::max(maxX, lastMarkedIn(row, maxX + 1, cols));
  }
  minPt = cv::Point(minX, top);
  maxPt = cv::Point(maxX, bottom);
  return true;
}

cv::Point pivotOfBox(const cv::Point & minPt, const cv::Point & maxPt)
{
  // Sums in 64 bits equal the 32-bit sums wherever those do not overflow;
  // the halving is in double and the conversion truncates toward zero.
  const auto middle = [](int lo, int hi) {
    return static_cast<int>(static_cast<double>(int64_t{lo} + hi) * 0.5);
  };
  return {middle(minPt.x, maxPt.x), middle(minPt.y, maxPt.y)};
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

}  // namespace detail
}  // namespace quorvane

namespace
{

using quorvane::detail::HoughAttempt;

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

/// Throws (before any output is touched) for what the warp and the threshold
/// would reject midway: an empty or not 8-bit image, a matrix that is not a
/// 2x3 of floats, negative bounds.
void checkWarpInput(const cv::Mat & image, const cv::Mat & rotationMatrix, const cv::Rect & bounds)
{
  if (image.empty() || image.dims > 2 || image.depth() != CV_8U) {
    CV_Error_(
      cv::Error::StsUnsupportedFormat,
      ("rotateImage: the image must be a non-empty 2-D 8-bit image, got %s with %d dims",
       cv::typeToString(image.type()).c_str(), image.dims));
  }
  if (
    rotationMatrix.rows != 2 || rotationMatrix.cols != 3 ||
    (rotationMatrix.type() != CV_64FC1 && rotationMatrix.type() != CV_32FC1)) {
    CV_Error_(
      cv::Error::StsBadArg,
      ("rotateImage: the rotation matrix must be 2x3 CV_64F or CV_32F, got %dx%d %s",
       rotationMatrix.rows, rotationMatrix.cols, cv::typeToString(rotationMatrix.type()).c_str()));
  }
  if (bounds.width < 0 || bounds.height < 0) {
    CV_Error_(
      cv::Error::StsOutOfRange,
      ("rotateImage: negative bounds size %d x %d", bounds.width, bounds.height));
  }
}

/// An affine warp whose whole window maps outside the source yields only the
/// zero border; producing it directly also keeps far-away pivots out of the
/// warp's fixed-point coordinate arithmetic. The input has passed
/// checkWarpInput().
bool warpYieldsOnlyBorder(const cv::Mat & image, const cv::Mat & rotationMatrix, cv::Size size)
{
  return !size.empty() && quorvane::detail::warpMissesSource(rotationMatrix, image.size(), size);
}

}  // namespace

double Rotator::computeImageMainDirection(const cv::Mat & image)
{
  // 1. edges
  cv::Mat edges;
  cv::Canny(image, edges, 50.0, 150.0, 3, false);
  // 2. segments, lowering the vote threshold until four or more are found
  std::vector<cv::Vec4i> segments;
  quorvane::detail::detectSegmentsWithFallingVotes(
    [&edges](const HoughAttempt & attempt, std::vector<cv::Vec4i> & found) {
      cv::HoughLinesP(
        edges, found, 1.0, CV_PI / 180.0, attempt.votes, attempt.minLength, attempt.maxGap);
    },
    segments);
  // 3. length-weighted direction histogram
  quorvane::detail::DirectionHistogram histogram;
  for (const cv::Vec4i & segment : segments) {
    histogram.addSegment(segment);
  }
  // 4.-5. weighted mean direction of the heaviest bin
  return histogram.meanDirectionOfHeaviestBin();
}

void Rotator::getMinMaxCoordinates(const cv::Mat & image, cv::Point & minPt, cv::Point & maxPt)
{
  quorvane::detail::checkByteImage(image, "getMinMaxCoordinates: the image");
  cv::Point lo(INT_MAX, INT_MAX);
  cv::Point hi(0, 0);
  if (!image.empty()) {
    quorvane::detail::boundingBoxOfMarked(image, lo, hi);
  }
  minPt = lo;
  maxPt = hi;
}

double Rotator::computeImageRotationMatrix(
  const cv::Mat & image, cv::Mat & rotationMatrix, cv::Rect & bounds, const cv::Point * center,
  double extraAngle)
{
  // 1. total angle
  const double theta = extraAngle + computeImageMainDirection(image);
  // 2. pivot: the given centre, or the middle of the marked pixels' box
  cv::Point pivot;
  if (center != nullptr) {
    pivot = *center;
  } else {
    cv::Point lo;
    cv::Point hi;
    getMinMaxCoordinates(image, lo, hi);
    pivot = quorvane::detail::pivotOfBox(lo, hi);
  }
  const cv::Point2f pivotF(static_cast<float>(pivot.x), static_cast<float>(pivot.y));
  // 3. degrees for OpenCV
  const double degrees = (theta * 180.0) / 3.141592653589793;
  // 4. rotation about the pivot
  cv::Mat matrix = cv::getRotationMatrix2D(pivotF, degrees, 1.0);
  // 5. window: an image-sized rectangle centred on the pivot, rotated
  const cv::Rect window = boundingRectOfOutline(cv::RotatedRect(
    pivotF, cv::Size2f(static_cast<float>(image.cols), static_cast<float>(image.rows)),
    static_cast<float>(degrees)));
  // 6. re-centre: the pivot lands in the middle of the window
  matrix.at<double>(0, 2) += window.width * 0.5 - pivot.x;
  matrix.at<double>(1, 2) += window.height * 0.5 - pivot.y;
  rotationMatrix = matrix;
  bounds = window;
  // 7. radians, not degrees
  return theta;
}

void Rotator::rotateImage(
  const cv::Mat & image, cv::Mat & rotatedImage, const cv::Mat & rotationMatrix,
  const cv::Rect & bounds)
{
  // 0. reject what the warp would reject, before the output is touched
  checkWarpInput(image, rotationMatrix, bounds);
  const cv::Size size(bounds.width, bounds.height);
  // 1. warp (bilinear), zero outside the source
  if (warpYieldsOnlyBorder(image, rotationMatrix, size)) {
    rotatedImage.create(size, image.type());
    rotatedImage.setTo(cv::Scalar::all(0));
  } else {
    cv::warpAffine(
      image, rotatedImage, rotationMatrix, size, cv::INTER_AREA, cv::BORDER_CONSTANT, cv::Scalar());
  }
  // 2. back to two levels: above 127 becomes 255, the rest 0
  cv::threshold(rotatedImage, rotatedImage, 127.0, 255.0, cv::THRESH_BINARY);
}

void Rotator::transformPointPathToPosePath(
  const std::vector<cv::Point2f> & input, std::vector<cv::Point2f> & output)
{
  // Reserving first means appending never moves the input's points, which
  // keeps even a call with input and output the same vector well defined.
  const size_t count = input.size();
  output.reserve(output.size() + count);
  for (size_t i = 0; i < count; ++i) {
    output.push_back(input[i]);
  }
}

void Rotator::transformPointPathToPosePath(std::vector<cv::Point2f> & path)
{
  // 1. nothing to copy aside
  if (path.empty()) {
    const std::vector<cv::Point2f> none;
    transformPointPathToPosePath(none, path);
    return;
  }
  // 2.-4. copy aside, empty (capacity kept), deliver back
  const std::vector<cv::Point2f> points(path);
  path.clear();
  transformPointPathToPosePath(points, path);
}

void Rotator::transformPathBackToOriginalRotation(
  const std::vector<cv::Point2f> & input, std::vector<cv::Point2f> & output,
  const cv::Mat & rotationMatrix)
{
  // 0. one vector as input and output: keep its points aside, so that
  //    emptying the output below does not lose them
  std::vector<cv::Point2f> aside;
  if (&input == &output) {
    aside = input;
  }
  const std::vector<cv::Point2f> & source = &input == &output ? aside : input;
  // 1. the output never keeps earlier points, also when a step below throws
  output.clear();
  // 2. rotated frame -> source frame
  cv::Mat inverse;
  cv::invertAffineTransform(rotationMatrix, inverse);
  // 3. the points as a column of CV_32FC2, written into a path of the same
  //    length through a matching view (so the transform does not reallocate)
  std::vector<cv::Point2f> transformed(source.size());
  if (!source.empty()) {
    cv::Mat column(transformed);
    cv::transform(cv::Mat(source), column, inverse);
    CV_DbgAssert(column.data == reinterpret_cast<uchar *>(transformed.data()));
  }
  // 4. deliver
  transformPointPathToPosePath(transformed, output);
}

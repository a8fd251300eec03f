#include "rotation.hpp"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

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

/// A box of source positions, in pixels.
struct SourceBox
{
  double loX;
  double hiX;
  double loY;
  double hiY;
};

/// The inverse of a source-to-destination matrix, as cv::warpAffine computes
/// it: converted to double, then inverted (a singular matrix gives zeros).
cv::Matx23d inverseOf(const cv::Mat & sourceToDst)
{
  cv::Mat forward;
  sourceToDst.convertTo(forward, CV_64F);
  cv::Matx23d inverse;
  cv::invertAffineTransform(forward, inverse);
  return inverse;
}

/// Box of the source positions of the destination pixels of @p tile: those
/// of its four corner pixels span it. Nothing when one is not finite.
std::optional<SourceBox> sourceBoxOf(const cv::Matx23d & inverse, const cv::Rect & tile)
{
  const double xs[2] = {static_cast<double>(tile.x), tile.x + tile.width - 1.0};
  const double ys[2] = {static_cast<double>(tile.y), tile.y + tile.height - 1.0};
  SourceBox box{HUGE_VAL, -HUGE_VAL, HUGE_VAL, -HUGE_VAL};
  for (double x : xs) {
    for (double y : ys) {
      const double sx = inverse(0, 0) * x + inverse(0, 1) * y + inverse(0, 2);
      const double sy = inverse(1, 0) * x + inverse(1, 1) * y + inverse(1, 2);
      if (!std::isfinite(sx) || !std::isfinite(sy)) {
        return std::nullopt;
      }
      box = {
        std::min(box.loX, sx), std::max(box.hiX, sx), std::min(box.loY, sy), std::max(box.hiY, sy)};
    }
  }
  return box;
}

// cv::warpAffine's fixed point: source positions in 1/1024 pixel (AB_BITS),
// of which the bilinear remap keeps 5 bits of fraction (INTER_BITS).
constexpr int kPositionBits = 10;
constexpr int kFractionBits = 5;
constexpr std::int64_t kPositionUnit = std::int64_t{1} << kPositionBits;
constexpr double kPositionScale = kPositionUnit;
constexpr int kDroppedBits = kPositionBits - kFractionBits;
constexpr std::int32_t kFractionMask = (1 << kFractionBits) - 1;
/// Half a step of the kept fraction, so that dropping the finer bits rounds.
constexpr std::int64_t kRoundDelta = (1 << kDroppedBits) / 2;
/// Source positions within this many pixels keep the warp's 32-bit fixed
/// point from overflowing: 2^19 x 1024 for a row's start plus 2^20 x 1024
/// along the row stays below 2^31.
constexpr double kPlainWarpReach = 1 << 19;
/// Bounds of the inverse matrix that checkWarpInput() accepts.
constexpr double kMaxInverseScale = 1 << 20;
constexpr double kMaxInverseShift = 1099511627776.0;  // 2^40
/// Largest side of a destination tile of the tiled warp.
constexpr int kWarpTileSide = 1024;

/// cvRound of a position in 1/1024 pixel, in 64 bits. Values beyond 2^62, and
/// NaN, are pinned at +-2^62: far outside any image, and two of them still
/// add up without overflow.
std::int64_t fixedPosition(double scaled)
{
  constexpr double kFar = 4611686018427387904.0;  // 2^62
  if (scaled >= -kFar && scaled <= kFar) {
    return std::llrint(scaled);
  }
  return scaled < 0.0 ? -static_cast<std::int64_t>(kFar) : static_cast<std::int64_t>(kFar);
}

/// The source positions of destination pixels as cv::warpAffine computes
/// them, in 1/1024 pixel but in 64 bits: a rounded part per row (with half a
/// step of the kept 5-bit fraction) plus a rounded part per column, for each
/// axis (0: x, 1: y). Both parts are monotonic, so the positions of a
/// rectangle of destination pixels are bounded by those of its corners.
class WarpPositions
{
public:
  WarpPositions(const cv::Matx23d & inverse, int width) : inverse_(inverse)
  {
    for (int axis = 0; axis < 2; ++axis) {
      columns_[axis].resize(static_cast<std::size_t>(width));
      for (int x = 0; x < width; ++x) {
        columns_[axis][static_cast<std::size_t>(x)] =
          fixedPosition(inverse(axis, 0) * x * kPositionScale);
      }
    }
  }

  std::int64_t row(int axis, int y) const
  {
    return fixedPosition((inverse_(axis, 1) * y + inverse_(axis, 2)) * kPositionScale) +
           kRoundDelta;
  }
  std::int64_t column(int axis, int x) const { return columns_[axis][static_cast<std::size_t>(x)]; }
  /// The source pixel whose taps start the interpolation (arithmetic shifts
  /// floor, as in OpenCV).
  std::int64_t pixel(int axis, int x, int y) const
  {
    return (row(axis, y) + column(axis, x)) >> kPositionBits;
  }

private:
  cv::Matx23d inverse_;
  std::array<std::vector<std::int64_t>, 2> columns_;
};

/// Warps the destination tile @p tile of @p warped from the crop of
/// @p source that its bilinear taps reach, with OpenCV's positions moved to
/// the crop. @p xyMap and @p fractionMap are scratch maps of at least the
/// tile's size.
void warpTile(
  const cv::Mat & source, const WarpPositions & positions, const cv::Rect & tile, int maxSourceSide,
  cv::Mat & warped, cv::Mat & xyMap, cv::Mat & fractionMap)
{
  cv::Mat out = warped(tile);
  // Source pixels of the corners: the range of the whole tile.
  std::array<std::int64_t, 2> lo{INT64_MAX, INT64_MAX};
  std::array<std::int64_t, 2> hi{INT64_MIN, INT64_MIN};
  for (int axis = 0; axis < 2; ++axis) {
    for (int y : {tile.y, tile.y + tile.height - 1}) {
      for (int x : {tile.x, tile.x + tile.width - 1}) {
        lo[axis] = std::min(lo[axis], positions.pixel(axis, x, y));
        hi[axis] = std::max(hi[axis], positions.pixel(axis, x, y));
      }
    }
  }
  // The crop: the pixels p and p + 1 of that range inside the source. Taps
  // inside the source lie in it and taps outside it lie outside it, so the
  // remap reads the same values as from the whole source.
  const std::array<int, 2> size{source.cols, source.rows};
  std::array<std::int64_t, 2> first{};
  std::array<std::int64_t, 2> last{};
  for (int axis = 0; axis < 2; ++axis) {
    first[axis] = std::max<std::int64_t>(lo[axis], 0);
    last[axis] = std::min<std::int64_t>(hi[axis] + 1, size[axis] - 1);
    if (first[axis] > last[axis]) {
      out.setTo(cv::Scalar::all(0));
      return;
    }
  }
  // The tile was sized for this. It also keeps every position relative to
  // the crop's corner within +-2^25 (in 1/1024 pixel): 32 bits hold them.
  CV_Assert(hi[0] - lo[0] < maxSourceSide && hi[1] - lo[1] < maxSourceSide);
  const cv::Rect crop(
    static_cast<int>(first[0]), static_cast<int>(first[1]),
    static_cast<int>(last[0] - first[0] + 1), static_cast<int>(last[1] - first[1] + 1));
  cv::Mat xy = xyMap(cv::Rect(0, 0, tile.width, tile.height));
  cv::Mat fraction = fractionMap(cv::Rect(0, 0, tile.width, tile.height));
  // Positions relative to the crop's corner, a whole number of pixels away:
  // the pixels move by the corner, the fractions stay.
  std::array<std::vector<std::int32_t>, 2> step;
  for (int axis = 0; axis < 2; ++axis) {
    step[axis].resize(static_cast<std::size_t>(tile.width));
    for (int c = 0; c < tile.width; ++c) {
      step[axis][static_cast<std::size_t>(c)] = static_cast<std::int32_t>(
        positions.column(axis, tile.x + c) - positions.column(axis, tile.x));
    }
  }
  const std::int32_t * stepX = step[0].data();
  const std::int32_t * stepY = step[1].data();
  for (int r = 0; r < tile.height; ++r) {
    const auto startX = static_cast<std::int32_t>(
      positions.row(0, tile.y + r) + positions.column(0, tile.x) - first[0] * kPositionUnit);
    const auto startY = static_cast<std::int32_t>(
      positions.row(1, tile.y + r) + positions.column(1, tile.x) - first[1] * kPositionUnit);
    auto * xyRow = xy.ptr<cv::Vec2s>(r);
    auto * fractionRow = fraction.ptr<ushort>(r);
    for (int c = 0; c < tile.width; ++c) {
      const std::int32_t px = startX + stepX[c];
      const std::int32_t py = startY + stepY[c];
      xyRow[c] = {static_cast<short>(px >> kPositionBits), static_cast<short>(py >> kPositionBits)};
      fractionRow[c] = static_cast<ushort>(
        ((py >> kDroppedBits) & kFractionMask) * (kFractionMask + 1) +
        ((px >> kDroppedBits) & kFractionMask));
    }
  }
  cv::remap(source(crop), out, xy, fraction, cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar());
}

/// The tiled warp of warpBilinear() into @p warped, already of its size and
/// not sharing pixels with @p source. Rows of tiles run in parallel.
void warpInTiles(
  const cv::Mat & source, const cv::Matx23d & inverse, cv::Mat & warped, int maxSourceSide)
{
  // Tiles small enough that their taps stay within maxSourceSide: the
  // positions of a tile of side t span at most (t - 1) x reach, plus a pixel
  // of rounding and one of taps; 8 pixels of margin.
  const double reach = std::max(
    std::abs(inverse(0, 0)) + std::abs(inverse(0, 1)),
    std::abs(inverse(1, 0)) + std::abs(inverse(1, 1)));
  const double span = maxSourceSide - 8.0;
  const int side =
    reach * kWarpTileSide <= span ? kWarpTileSide : std::max(1, static_cast<int>(span / reach));
  const WarpPositions positions(inverse, warped.cols);
  const int tileRows = (warped.rows + side - 1) / side;
  cv::parallel_for_(cv::Range(0, tileRows), [&](const cv::Range & rows) {
    cv::Mat xyMap(side, side, CV_16SC2);
    cv::Mat fractionMap(side, side, CV_16UC1);
    for (int tr = rows.start; tr < rows.end; ++tr) {
      const int ty = tr * side;
      for (int tx = 0; tx < warped.cols; tx += side) {
        const cv::Rect tile(
          tx, ty, std::min(side, warped.cols - tx), std::min(side, warped.rows - ty));
        warpTile(source, positions, tile, maxSourceSide, warped, xyMap, fractionMap);
      }
    }
  });
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
  // The destination pixels map into the parallelogram spanned by the images
  // of its four corner pixels; its bounding box is enough.
  const std::optional<SourceBox> box =
    sourceBoxOf(inverseOf(sourceToDst), cv::Rect(0, 0, dstSize.width, dstSize.height));
  if (!box) {
    return false;
  }
  // Bilinear taps at floor(s) and floor(s) + 1 reach a source pixel only for
  // -1 < s < size; one more pixel of margin covers the fixed-point rounding.
  return box->hiX < -2.0 || box->loX > srcSize.width + 1.0 || box->hiY < -2.0 ||
         box->loY > srcSize.height + 1.0;
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
  // The tiled warp keeps positions in 64-bit fixed point: a scale up to
  // 2^20 and a shift up to 2^40 pixels, for destinations of up to 2^31
  // pixels, stay below 2^62 / 1024. NaN fails the comparisons too.
  const cv::Matx23d inverse = inverseOf(matrix);
  bool inRange = true;
  for (int r = 0; r < 2; ++r) {
    inRange = inRange && std::abs(inverse(r, 0)) <= kMaxInverseScale &&
              std::abs(inverse(r, 1)) <= kMaxInverseScale &&
              std::abs(inverse(r, 2)) <= kMaxInverseShift;
  }
  if (!inRange) {
    CV_Error(
      cv::Error::StsOutOfRange,
      "rotateImage: the rotation matrix must be finite and not nearly singular (its inverse may "
      "scale by at most 2^20 and shift by at most 2^40 pixels)");
  }
  if (size.width < 0 || size.height < 0) {
    CV_Error_(
      cv::Error::StsOutOfRange,
      ("rotateImage: negative bounds size %d x %d", size.width, size.height));
  }
}

void warpBilinear(
  const cv::Mat & image, const cv::Mat & matrix, cv::Size size, cv::Mat & warped, int maxSourceSide)
{
  CV_Assert(maxSourceSide >= 16 && maxSourceSide <= kMaxWarpSourceSide);
  const cv::Size dstSize = size.empty() ? image.size() : size;
  // A warp whose whole window maps outside the source yields only the zero
  // border; producing it directly also keeps far-away pivots out of the
  // warp's fixed-point coordinate arithmetic.
  if (warpMissesSource(matrix, image.size(), dstSize)) {
    warped.create(dstSize, image.type());
    warped.setTo(cv::Scalar::all(0));
    return;
  }
  const cv::Matx23d inverse = inverseOf(matrix);
  const std::optional<SourceBox> box =
    sourceBoxOf(inverse, cv::Rect(0, 0, dstSize.width, dstSize.height));
  const bool nearby = !box || (std::max(std::abs(box->loX), std::abs(box->hiX)) < kPlainWarpReach &&
                               std::max(std::abs(box->loY), std::abs(box->hiY)) < kPlainWarpReach);
  if (image.cols <= maxSourceSide && image.rows <= maxSourceSide && nearby) {
    // Bilinear: OpenCV's warpAffine has no area interpolation and treats
    // INTER_AREA as INTER_LINEAR; the flag is kept as the callers know it.
    cv::warpAffine(image, warped, matrix, size, cv::INTER_AREA, cv::BORDER_CONSTANT, cv::Scalar());
    return;
  }
  // The source stays alive through its own header, and is read from a copy
  // when the output shares its memory.
  cv::Mat source = image;
  warped.create(dstSize, image.type());
  if (source.datastart < warped.dataend && warped.datastart < source.dataend) {
    source = source.clone();
  }
  if (!box) {
    warped.setTo(cv::Scalar::all(0));  // no finite source position at all
    return;
  }
  warpInTiles(source, inverse, warped, maxSourceSide);
}

void warpAndBinarise(
  const cv::Mat & image, const cv::Mat & matrix, cv::Size size, cv::Mat & rotated,
  int maxSourceSide)
{
  warpBilinear(image, matrix, size, rotated, maxSourceSide);
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

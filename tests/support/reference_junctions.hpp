// Junction detection as a reference implementation: the twelve 3x3 shapes as
// hit-or-miss kernels, either run as twelve OpenCV passes ORed into a mask or
// checked pixel by pixel, and a brute-force farthest pair. The library's
// one-pass lookup table and its hull search are checked and measured against
// these; the library's own table is built independently of this one.
#ifndef QUORVANE_NAV2_ALGO_CORE__SUPPORT__REFERENCE_JUNCTIONS_HPP_
#define QUORVANE_NAV2_ALGO_CORE__SUPPORT__REFERENCE_JUNCTIONS_HPP_

#include <array>
#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace quorvane
{
namespace oracle
{

/// The twelve junction shapes, row-major 3x3, 1 where an arm (or the centre) must be set.
inline const uchar (&referenceJunctionKernels())[12][9]
{
  static const uchar kKernels[12][9] = {
    {1, 0, 1, 0, 1, 0, 0, 1, 0}, {0, 1, 0, 0, 1, 1, 1, 0, 0}, {0, 0, 1, 1, 1, 0, 0, 0, 1},
    {1, 0, 0, 0, 1, 1, 0, 1, 0}, {0, 1, 0, 0, 1, 0, 1, 0, 1}, {0, 0, 1, 1, 1, 0, 0, 1, 0},
    {1, 0, 0, 0, 1, 1, 1, 0, 0}, {0, 1, 0, 1, 1, 0, 0, 0, 1}, {1, 0, 0, 0, 1, 0, 1, 0, 1},
    {1, 0, 1, 0, 1, 0, 1, 0, 0}, {1, 0, 1, 0, 1, 0, 0, 0, 1}, {0, 0, 1, 0, 1, 0, 1, 0, 1}};
  return kKernels;
}

/// Junction pixels in raster order: twelve MORPH_HITMISS passes over a 0/1
/// copy with a zero frame, ORed together.
inline std::vector<cv::Point> referenceJunctionPixels(const cv::Mat & skeleton)
{
  cv::Mat padded, binary, hit;
  cv::copyMakeBorder(
    skeleton, padded, 1, 1, 1, 1, cv::BORDER_CONSTANT | cv::BORDER_ISOLATED, cv::Scalar(0));
  cv::threshold(padded, binary, 0, 1, cv::THRESH_BINARY);
  cv::Mat mask = cv::Mat::zeros(padded.size(), CV_8UC1);
  for (const auto & k : referenceJunctionKernels()) {
    cv::morphologyEx(
      binary, hit, cv::MORPH_HITMISS, cv::Mat(3, 3, CV_8UC1, const_cast<uchar *>(k)));
    cv::bitwise_or(hit, mask, mask);
  }
  std::vector<cv::Point> points;  // raster order
  cv::findNonZero(mask, points);
  for (cv::Point & p : points) {
    p -= cv::Point(1, 1);
  }
  return points;
}

/// Whether pixel (x, y) is a junction pixel, kernel by kernel (pixels outside
/// the image count as clear). Cheap enough per pixel for fuzz targets.
inline bool isReferenceJunction(const cv::Mat & image, int x, int y)
{
  const auto set = [&image](int px, int py) {
    return px >= 0 && py >= 0 && px < image.cols && py < image.rows && image.at<uchar>(py, px) != 0;
  };
  for (const auto & k : referenceJunctionKernels()) {
    bool all = true;
    for (int i = 0; i < 9 && all; ++i) {
      all = k[i] == 0 || set(x + i % 3 - 1, y + i / 3 - 1);
    }
    if (all) {
      return true;
    }
  }
  return false;
}

/// The pair at the greatest exact distance by trying every pair, the first
/// (i, j) winning ties; (0, 0) twice for fewer than two points.
inline std::array<cv::Point, 2> bruteForceFarthestPair(const std::vector<cv::Point> & p)
{
  std::array<cv::Point, 2> best{cv::Point(0, 0), cv::Point(0, 0)};
  std::int64_t bestD = 0;
  for (std::size_t i = 0; i + 1 < p.size(); ++i) {
    for (std::size_t j = i + 1; j < p.size(); ++j) {
      const std::int64_t dx = std::int64_t{p[i].x} - p[j].x;
      const std::int64_t dy = std::int64_t{p[i].y} - p[j].y;
      if (dx * dx + dy * dy > bestD) {
        bestD = dx * dx + dy * dy;
        best = {p[i], p[j]};
      }
    }
  }
  return best;
}

}  // namespace oracle
}  // namespace quorvane

#endif  // QUORVANE_NAV2_ALGO_CORE__SUPPORT__REFERENCE_JUNCTIONS_HPP_

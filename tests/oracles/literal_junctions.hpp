// Junction detection in its compact literal formulation: a zero frame, a 0/1
// image, twelve hit-or-miss passes ORed into a mask, and the junction pixels
// read back in raster order. The single lookup-table pass is checked and
// measured against it.
#ifndef QUORVANE_NAV2_ALGO_CORE__ORACLES__LITERAL_JUNCTIONS_HPP_
#define QUORVANE_NAV2_ALGO_CORE__ORACLES__LITERAL_JUNCTIONS_HPP_

#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace quorvane
{
namespace oracle
{

inline std::vector<cv::Point> literalJunctionPixels(const cv::Mat & skeleton)
{
  static const uchar kKernels[12][9] = {
    {1, 0, 1, 0, 1, 0, 0, 1, 0}, {0, 1, 0, 0, 1, 1, 1, 0, 0}, {0, 0, 1, 1, 1, 0, 0, 0, 1},
    {1, 0, 0, 0, 1, 1, 0, 1, 0}, {0, 1, 0, 0, 1, 0, 1, 0, 1}, {0, 0, 1, 1, 1, 0, 0, 1, 0},
    {1, 0, 0, 0, 1, 1, 1, 0, 0}, {0, 1, 0, 1, 1, 0, 0, 0, 1}, {1, 0, 0, 0, 1, 0, 1, 0, 1},
    {1, 0, 1, 0, 1, 0, 1, 0, 0}, {1, 0, 1, 0, 1, 0, 0, 0, 1}, {0, 0, 1, 0, 1, 0, 1, 0, 1}};
  cv::Mat padded, binary, hit;
  cv::copyMakeBorder(
    skeleton, padded, 1, 1, 1, 1, cv::BORDER_CONSTANT | cv::BORDER_ISOLATED, cv::Scalar(0));
  cv::threshold(padded, binary, 0, 1, cv::THRESH_BINARY);
  cv::Mat mask = cv::Mat::zeros(padded.size(), CV_8UC1);
  for (const auto & k : kKernels) {
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

}  // namespace oracle
}  // namespace quorvane

#endif  // QUORVANE_NAV2_ALGO_CORE__ORACLES__LITERAL_JUNCTIONS_HPP_

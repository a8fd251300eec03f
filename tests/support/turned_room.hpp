// A synthetic map with one room turned by a chosen angle, shared by the
// direction and rotation tests.
#ifndef QUORVANE_NAV2_ALGO_CORE__SUPPORT__TURNED_ROOM_HPP_
#define QUORVANE_NAV2_ALGO_CORE__SUPPORT__TURNED_ROOM_HPP_

#include <cmath>
#include <utility>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace quorvane
{
namespace test
{

constexpr double kPi = 3.141592653589793;

inline double rad(double degrees) { return degrees * kPi / 180.0; }

/// A 400 x 400 map with one free 300 x 80 room whose long walls run at
/// @p degrees (from +x toward +y), drawn without anti-aliasing.
inline cv::Mat roomMap(double degrees)
{
  cv::Mat img = cv::Mat::zeros(400, 400, CV_8UC1);
  const double c = std::cos(rad(degrees));
  const double s = std::sin(rad(degrees));
  std::vector<cv::Point> corners;
  for (const auto & uv :
       std::vector<std::pair<double, double>>{{-150, -40}, {150, -40}, {150, 40}, {-150, 40}}) {
    corners.emplace_back(
      cvRound(200 + uv.first * c - uv.second * s), cvRound(200 + uv.first * s + uv.second * c));
  }
  cv::fillConvexPoly(img, corners, cv::Scalar(255), cv::LINE_8);
  return img;
}

}  // namespace test
}  // namespace quorvane

#endif  // QUORVANE_NAV2_ALGO_CORE__SUPPORT__TURNED_ROOM_HPP_

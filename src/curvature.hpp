// Turning-angle curvature of a polyline's vertices.
#ifndef QUORVANE_NAV2_ALGO_CORE__CURVATURE_HPP_
#define QUORVANE_NAV2_ALGO_CORE__CURVATURE_HPP_

#include <vector>

#include <opencv2/core.hpp>

namespace quorvane
{
namespace curvature
{

/// The turning angle at @p b (0 straight on, pi when doubling back) over the
/// shorter leg; 0.0 when a leg has zero length. Legs are differenced in 64
/// bits; every operation is rounded on its own, in a fixed order.
double turningCurvature(const cv::Point & a, const cv::Point & b, const cv::Point & c);

/// The first interior vertex with the greatest curvature, or (0, 0) when
/// there are fewer than three points or no vertex turns.
cv::Point sharpestVertex(const std::vector<cv::Point> & points);

}  // namespace curvature
}  // namespace quorvane

#endif  // QUORVANE_NAV2_ALGO_CORE__CURVATURE_HPP_

#ifndef QUORVANE_NAV2_ALGO_CORE__CURVATUREANALYZER_HPP_
#define QUORVANE_NAV2_ALGO_CORE__CURVATUREANALYZER_HPP_

#include <vector>

#include <opencv2/core.hpp>

#include "quorvane_nav2_algo_core_export.hpp"

/**
 * @brief Turning-angle curvature of pixel polylines.
 *
 * Stateless: any number of threads may call the methods at once.
 */
class QUORVANE_NAV2_ALGO_CORE_EXPORT CurvatureAnalyzer
{
public:
  /**
   * @brief Turning angle at @p b between the legs a-b and b-c, divided by the
   *        shorter leg, in radians per pixel.
   *
   * @return A value in [0, pi / min(|ab|, |bc|)]: 0 for a straight
   *         continuation, and 0.0 when either leg has zero length. Left and
   *         right turns are alike.
   */
  double curvature(const cv::Point & a, const cv::Point & b, const cv::Point & c);

  /**
   * @brief The interior vertex of greatest curvature().
   *
   * @param points Read only, in path order. End points are never returned.
   * @return The first vertex reaching the greatest curvature, or (0, 0) when
   *         the polyline has fewer than three points or no vertex has a
   *         positive curvature.
   */
  cv::Point findMaxCurvaturePoint(const std::vector<cv::Point> & points);
};

#endif  // QUORVANE_NAV2_ALGO_CORE__CURVATUREANALYZER_HPP_

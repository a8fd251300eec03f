#ifndef QUORVANE_NAV2_ALGO_CORE__SIMPLIFYPATH_HPP_
#define QUORVANE_NAV2_ALGO_CORE__SIMPLIFYPATH_HPP_

#include <vector>

#include <opencv2/core.hpp>

#include "nav_msgs/msg/path.hpp"
#include "quorvane_nav2_algo_core_export.hpp"

/**
 * @brief Douglas-Peucker simplification of pixel polylines and of
 *        `nav_msgs::msg::Path` messages.
 *
 * Distances are measured to the closed segment between a span's end points
 * (a point beyond an end is measured to that end). A span is divided at the
 * interior point farthest from its segment (lowest index on ties) only when
 * that distance is strictly greater than epsilon. Works on index ranges with
 * an explicit stack: no recursion, whatever the input's length.
 *
 * Stateless: calls may run concurrently as long as they share no output.
 */
class QUORVANE_NAV2_ALGO_CORE_EXPORT SimplifyPath
{
public:
  /**
   * @brief Simplifies a pixel polyline.
   *
   * @param input          Read only. May be the same object as @p output.
   * @param epsilon        Distance tolerance in pixels, >= 0 (NaN never
   *                       divides a span).
   * @param minChordLength A span whose end points lie no farther apart than
   *                       this is replaced by its end points without looking
   *                       inside; negative switches the test off (NaN never
   *                       ends a span).
   * @param output         With two or more input points the kept points are
   *                       appended after what it holds. With fewer than two,
   *                       it is replaced by a copy of the input.
   * @throws cv::Exception (StsOutOfRange) for a negative @p epsilon, before
   *         @p output is touched.
   */
  void douglasPeucker(
    const std::vector<cv::Point> & input, double epsilon, double minChordLength,
    std::vector<cv::Point> & output);

  /**
   * @brief Simplifies a path message in the plane of its positions' x and y.
   *
   * Kept poses are whole copies (header, z and orientation travel along).
   *
   * @param input   Read only. May be the same object as @p output.
   * @param epsilon Distance tolerance in the unit of the positions, >= 0.
   * @param output  With two or more input poses the kept poses are appended to
   *                its poses and its header is left alone. With fewer than
   *                two, it is replaced by a copy of the input (header too).
   * @throws cv::Exception (StsOutOfRange) for a negative @p epsilon, before
   *         @p output is touched.
   */
  void douglasPeucker(
    const nav_msgs::msg::Path & input, double epsilon, nav_msgs::msg::Path & output);

private:
  /// Distance of @p p from the closed segment @p a - @p b.
  double pointSegmentDistance(const cv::Point2d & p, const cv::Point2d & a, const cv::Point2d & b);
};

#endif  // QUORVANE_NAV2_ALGO_CORE__SIMPLIFYPATH_HPP_

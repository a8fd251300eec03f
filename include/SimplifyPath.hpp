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
 * Performance: the result is exactly the plain scheme's, but most points are
 * not measured one by one. Each span is first scanned with a cheap estimate
 * (four points at a time, 256-bit registers where the processor has them);
 * only points whose estimate lies within rounding of the greatest get their
 * distance computed, and a span that cannot be divided is left as soon as
 * that is certain. Long spans are searched through a tree of bounding boxes
 * (and of convex hulls once splits near the ends pile up), so a span that
 * is divided one point at a time no longer costs its whole length each time.
 * On a million points, measured side by side with cv::approxPolyDP (open
 * curve, same epsilon; bench_douglas_peucker): about 0.6 of its time on a
 * noisy curve and on a random walk, 0.2 on a real map's boundary, and 0.8 to
 * 0.9 for the path overload (which also reads 96-byte poses and copies the
 * kept ones whole). A comb that the plain scheme divides a point at a time
 * takes about 0.4 s at a million points, about 10 times its time at 64 k
 * (where approxPolyDP already takes about half a second).
 *
 * Worst case: building the trees costs O(n log n). Through the tree of hulls
 * a span then costs the bounds of O(log n) nodes (at most 32 vertices each)
 * per point whose distance lies within rounding of the greatest, plus the
 * 64-point blocks holding those points; a node whose hull would need more
 * vertices keeps its box, a looser bound. Points at exactly equal distance
 * from a chord that is not parallel to an axis (or with coordinates beyond
 * 2^23, or not integers) must each have their distance computed, since the
 * rounding of each decides which is the lowest-index farthest one: inputs
 * that repeat such ties across many spans (a comb turned off the axes)
 * remain quadratic.
 *
 * Memory: linear (a copy of the coordinates, and the trees).
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

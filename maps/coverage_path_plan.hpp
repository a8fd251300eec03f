// The coverage path planner's worker: plain images, a rotation matrix and
// pixel lengths in; a polyline in map pixels with the kind of each segment
// and the coverage figures out. The public front (coverage_path.cpp) checks
// the input and turns the answer into metres.
#ifndef QUORVANE_NAV2_MAPS__COVERAGE_PATH_PLAN_HPP_
#define QUORVANE_NAV2_MAPS__COVERAGE_PATH_PLAN_HPP_

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

namespace quorvane
{
namespace coverage_path
{

/// What the planner is asked, in map pixels.
struct Settings
{
  double swathPx = 10.0;   ///< width swept by one pass, > 0
  double radiusPx = 5.0;   ///< robot radius, >= 0
  double spacingPx = 9.0;  ///< distance between neighbouring lanes, > 0
  bool hasStart = false;
  cv::Point2d start;  ///< map pixels, inside the image, when hasStart
};

enum class SegmentKind : std::uint8_t { Lane, Transit };

/// The planner's answer, in map pixels.
struct PixelPlan
{
  std::vector<cv::Point2d> points;  ///< the path's vertices in order
  std::vector<SegmentKind> kinds;   ///< one per segment (points.size() - 1)
  int lanes = 0;                    ///< lanes swept back and forth
  int cleanupPasses = 0;            ///< passes along walls for what the lanes missed
  std::int64_t coverableCells = 0;  ///< free cells within half a swath of the reachable part
  std::int64_t coveredCells = 0;    ///< coverable cells whose centre the swept band holds
  std::int64_t unreachableCells = 0;
  cv::Mat unreachable;  ///< map size, `CV_8UC1`: 255 at free cells that are not coverable
  cv::Mat coverable;    ///< map size, `CV_8UC1`: 255 at coverable cells
  /// The start was asked and the robot does not fit there (or cannot reach
  /// it): no path; nearestStart is the nearest pixel centre where it fits,
  /// when there is one (hasNearestStart).
  bool startRejected = false;
  bool hasNearestStart = false;
  cv::Point2d nearestStart;
};

/// Where the time went (seconds of wall-clock time).
struct Timings
{
  double total = 0.0;
  double lanes = 0.0;             ///< lanes, regions and their sweeps
  double passes = 0.0;            ///< finding and straightening the passes along walls
  double ordering = 0.0;          ///< visiting regions and passes, routes between them
  std::int64_t routedPixels = 0;  ///< pixels settled by the route searches
};

/**
 * @brief Plans the coverage path of the free cells (255) of @p free, lanes
 *        along the x axis of @p rotation's frame (2x3 `CV_64F`, map pixels to
 *        aligned pixels, a rotation).
 *
 * Every segment of the answer is clear by the rule of coverage_path_route.hpp:
 * every point of it keeps at least radiusPx - 0.5 from the centre of every
 * pixel that is not free (outside the image counts as not free).
 * @param timings filled when not null.
 */
PixelPlan plan(
  const cv::Mat & free, const cv::Mat & rotation, const Settings & settings,
  Timings * timings = nullptr);

}  // namespace coverage_path
}  // namespace quorvane

#endif  // QUORVANE_NAV2_MAPS__COVERAGE_PATH_PLAN_HPP_

// The coverage path's public front: checks the options, turns metres into
// pixels for the planner (coverage_path_plan) and its pixel answer back into
// poses and figures in metres.
#include "quorvane_nav2_maps/coverage_path.hpp"

#include <cmath>

#include "coverage_path_plan.hpp"
#include "image_scan.hpp"
#include "quorvane_nav2_maps/map_frame.hpp"

namespace quorvane
{
namespace maps
{
namespace
{

/// Heading change above which a pose counts as a turn.
constexpr double kTurnAngle = CV_PI / 4.0;

void checkOptions(const CoveragePathOptions & options)
{
  if (!std::isfinite(options.swathWidth) || options.swathWidth <= 0.0) {
    CV_Error_(
      cv::Error::StsOutOfRange,
      ("planCoveragePath: the swath width must be finite and > 0, got %g", options.swathWidth));
  }
  if (!std::isfinite(options.robotRadius) || options.robotRadius < 0.0) {
    CV_Error_(
      cv::Error::StsOutOfRange,
      ("planCoveragePath: the robot radius must be finite and >= 0, got %g", options.robotRadius));
  }
  if (!(options.overlap >= 0.0 && options.overlap < 1.0)) {
    CV_Error_(
      cv::Error::StsOutOfRange,
      ("planCoveragePath: the overlap must lie in [0, 1), got %g", options.overlap));
  }
  if (options.start && (!std::isfinite(options.start->x) || !std::isfinite(options.start->y))) {
    CV_Error(cv::Error::StsOutOfRange, "planCoveragePath: the start is not finite");
  }
}

/// The start in map pixels, checked to lie on the image.
cv::Point2d checkedStartPixel(const cv::Point2d & start, const MapFrame & frame)
{
  const cv::Point2d p = worldToPixel(frame, start);
  if (!(p.x >= -0.5 && p.y >= -0.5 && p.x <= frame.width - 0.5 && p.y <= frame.height - 0.5)) {
    CV_Error_(
      cv::Error::StsOutOfRange,
      ("planCoveragePath: the start (%g, %g) m lies outside the map", start.x, start.y));
  }
  return p;
}

double angleBetween(const cv::Point2d & u, const cv::Point2d & v)
{
  return std::abs(std::atan2(u.x * v.y - u.y * v.x, u.x * v.x + u.y * v.y));
}

CoveragePath toCoveragePath(
  const coverage_path::PixelPlan & plan, const MapFrame & frame, double swathWidth)
{
  CoveragePath out;
  const double res = frame.resolution;
  const std::size_t n = plan.points.size();
  out.poses.resize(n);
  double imageAngle = 0.0;
  double previousYaw = imageAngleToYaw(frame, 0.0);
  for (std::size_t i = 0; i < n; ++i) {
    CoveragePose & pose = out.poses[i];
    pose.pixel = plan.points[i];
    pose.position = pixelToWorld(frame, pose.pixel);
    pose.yaw = previousYaw;
    if (i + 1 < n) {
      const cv::Point2d d = plan.points[i + 1] - plan.points[i];
      if (d.x != 0.0 || d.y != 0.0) {
        imageAngle = std::atan2(d.y, d.x);
        pose.yaw = imageAngleToYaw(frame, imageAngle);
      }
    }
    previousYaw = pose.yaw;
  }
  out.segments.reserve(plan.kinds.size());
  for (std::size_t i = 0; i < plan.kinds.size(); ++i) {
    const bool lane = plan.kinds[i] == coverage_path::SegmentKind::Lane;
    out.segments.push_back(lane ? CoverageSegmentKind::Lane : CoverageSegmentKind::Transit);
    const double length = cv::norm(plan.points[i + 1] - plan.points[i]) * res;
    out.pathLength += length;
    (lane ? out.laneLength : out.transitLength) += length;
  }
  for (std::size_t i = 1; i + 1 < n; ++i) {
    if (
      angleBetween(plan.points[i] - plan.points[i - 1], plan.points[i + 1] - plan.points[i]) >
      kTurnAngle) {
      ++out.turns;
    }
  }
  out.lanes = plan.lanes;
  out.wallPasses = plan.cleanupPasses;
  const double cellArea = res * res;
  out.coverableArea = static_cast<double>(plan.coverableCells) * cellArea;
  out.coveredShare = plan.coverableCells > 0 ? static_cast<double>(plan.coveredCells) /
                                                 static_cast<double>(plan.coverableCells)
                                             : 0.0;
  out.unreachableArea = static_cast<double>(plan.unreachableCells) * cellArea;
  out.unreachable = plan.unreachable;
  out.stretch = out.coverableArea > 0.0 ? out.pathLength / (out.coverableArea / swathWidth) : 0.0;
  if (n > 0) {
    out.start = out.poses.front().position;
  }
  return out;
}

/// The checks that need no image: the options, the resolution, the start.
void checkArguments(const MapFrame & frame, const CoveragePathOptions & options)
{
  checkOptions(options);
  if (!std::isfinite(frame.resolution) || frame.resolution <= 0.0) {
    CV_Error_(
      cv::Error::StsOutOfRange,
      ("planCoveragePath: the resolution must be finite and > 0, got %g", frame.resolution));
  }
  if (options.start) {
    checkedStartPixel(*options.start, frame);
  }
}

}  // namespace

CoveragePath planCoveragePath(
  const AlignedMap & map, const MapFrame & frame, const CoveragePathOptions & options)
{
  checkArguments(frame, options);
  image_scan::checkByteImage(map.free, "planCoveragePath: the map's free image");
  if (frame.width != map.free.cols || frame.height != map.free.rows) {
    CV_Error_(
      cv::Error::StsBadArg, ("planCoveragePath: the frame is %d x %d but the map %d x %d",
                             frame.width, frame.height, map.free.cols, map.free.rows));
  }
  const bool anyFree = !map.free.empty() && cv::countNonZero(map.free == 255) > 0;
  if (
    anyFree &&
    (map.rotation.rows != 2 || map.rotation.cols != 3 || map.rotation.type() != CV_64FC1)) {
    CV_Error(cv::Error::StsBadArg, "planCoveragePath: the map has free cells but no rotation");
  }
  coverage_path::Settings settings;
  settings.swathPx = options.swathWidth / frame.resolution;
  settings.radiusPx = options.robotRadius / frame.resolution;
  settings.spacingPx = settings.swathPx * (1.0 - options.overlap);
  if (options.start) {
    settings.hasStart = true;
    settings.start = checkedStartPixel(*options.start, frame);
  }
  if (!anyFree) {
    if (settings.hasStart) {
      CV_Error(
        cv::Error::StsOutOfRange,
        "planCoveragePath: the start is not free: the map has no free cell");
    }
    CoveragePath empty;
    empty.unreachable = cv::Mat::zeros(map.free.size(), CV_8UC1);
    return empty;
  }
  const coverage_path::PixelPlan plan = coverage_path::plan(map.free, map.rotation, settings);
  if (plan.startRejected) {
    if (!plan.hasNearestStart) {
      CV_Error_(
        cv::Error::StsOutOfRange,
        ("planCoveragePath: the robot does not fit at the start (%g, %g) m (pixel (%g, %g)), "
         "nor anywhere on the map",
         options.start->x, options.start->y, settings.start.x, settings.start.y));
    }
    // The nearest point in both units: a caller planning in pixels (a frame
    // of one unit per pixel) reads the pixel.
    const cv::Point2d nearest = pixelToWorld(frame, plan.nearestStart);
    CV_Error_(
      cv::Error::StsOutOfRange,
      ("planCoveragePath: the robot does not fit at the start (%g, %g) m, pixel (%g, %g) (not free "
       "or too close to a wall); the nearest point where it fits is (%g, %g) m, pixel (%g, %g)",
       options.start->x, options.start->y, settings.start.x, settings.start.y, nearest.x,
       nearest.y, plan.nearestStart.x, plan.nearestStart.y));
  }
  return toCoveragePath(plan, frame, options.swathWidth);
}

CoveragePath planCoveragePath(const Map & map, const CoveragePathOptions & options)
{
  checkArguments(map.frame, options);
  return planCoveragePath(alignMap(map.free), map.frame, options);
}

}  // namespace maps
}  // namespace quorvane

#ifndef QUORVANE_NAV2_MAPS__MESSAGES_HPP_
#define QUORVANE_NAV2_MAPS__MESSAGES_HPP_

// Answers of the core library, found in image pixels, as ROS 2 messages in
// metres of the map frame (see map_frame.hpp), and a path back to pixels.
// Every message is stamped with the frame's frameId and a zero time (the
// caller sets the stamp it wants); z is 0 throughout. None of these checks
// the frame. They touch nothing but their arguments and may run concurrently.

#include <vector>

#include <geometry_msgs/msg/point_stamped.hpp>
#include <geometry_msgs/msg/polygon_stamped.hpp>
#include <geometry_msgs/msg/pose_stamped.hpp>
#include <nav_msgs/msg/path.hpp>
#include <opencv2/core.hpp>

#include "quorvane_nav2_maps/coverage.hpp"
#include "quorvane_nav2_maps/coverage_path.hpp"
#include "quorvane_nav2_maps/export.hpp"
#include "quorvane_nav2_maps/map.hpp"

namespace quorvane
{
namespace maps
{

/// A pixel outline (such as the inner rectangle's five points, the last
/// repeating the first) as a polygon; every point is kept, in order, in
/// float32 as the message holds it. An empty outline gives an empty polygon.
QUORVANE_NAV2_MAPS_EXPORT geometry_msgs::msg::PolygonStamped toPolygonStamped(
  const MapFrame & frame, const std::vector<cv::Point2f> & outline);

/// The blocks of a coverage as polygons, in the order they were taken: each
/// block's extent (the outer edges of its cells, five points, the last
/// repeating the first), as toPolygonStamped() gives it. No block, no polygon.
QUORVANE_NAV2_MAPS_EXPORT std::vector<geometry_msgs::msg::PolygonStamped> toPolygonStampeds(
  const MapFrame & frame, const Coverage & coverage);

/// A pixel position (a junction, the sharpest vertex) as a point.
QUORVANE_NAV2_MAPS_EXPORT geometry_msgs::msg::PointStamped toPointStamped(
  const MapFrame & frame, const cv::Point2d & pixel);

/// A direction at a pixel (the main direction at the rotation pivot) as a
/// pose at that point whose yaw is imageAngleToYaw(@p imageAngle).
QUORVANE_NAV2_MAPS_EXPORT geometry_msgs::msg::PoseStamped directionToPoseStamped(
  const MapFrame & frame, const cv::Point2d & pivot, double imageAngle);

/// A pixel polyline as a path: one pose per point, each facing the next
/// point, the last keeping its predecessor's orientation. A pose whose next
/// point coincides with it keeps its predecessor's orientation too; the first
/// pose then, and a path of one point, face yaw 0. Every pose carries the
/// path's header. An empty polyline gives an empty path.
QUORVANE_NAV2_MAPS_EXPORT nav_msgs::msg::Path toPath(
  const MapFrame & frame, const std::vector<cv::Point2d> & pixels);

/// A coverage path as a path: one pose per pose of @p coveragePath, at its
/// position (metres) with its yaw; every pose carries the path's header
/// (@p frame's frameId). No pose, an empty path.
QUORVANE_NAV2_MAPS_EXPORT nav_msgs::msg::Path toPath(
  const MapFrame & frame, const CoveragePath & coveragePath);

/// The pixel positions of a path's poses, in order (orientations and frame
/// ids are not looked at).
QUORVANE_NAV2_MAPS_EXPORT std::vector<cv::Point2d> fromPath(
  const MapFrame & frame, const nav_msgs::msg::Path & path);

}  // namespace maps
}  // namespace quorvane

#endif  // QUORVANE_NAV2_MAPS__MESSAGES_HPP_

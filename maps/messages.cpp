// Pixel answers as ROS 2 messages in the map frame.

#include "quorvane_nav2_maps/messages.hpp"

#include <cmath>

#include "map_workers.hpp"
#include "quorvane_nav2_maps/map_frame.hpp"

namespace quorvane
{
namespace maps
{
namespace
{

std_msgs::msg::Header headerOf(const MapFrame & frame)
{
  std_msgs::msg::Header header;
  header.frame_id = frame.frameId;
  return header;
}

}  // namespace

geometry_msgs::msg::PolygonStamped toPolygonStamped(
  const MapFrame & frame, const std::vector<cv::Point2f> & outline)
{
  geometry_msgs::msg::PolygonStamped out;
  out.header = headerOf(frame);
  out.polygon.points.reserve(outline.size());
  for (const cv::Point2f & p : outline) {
    const cv::Point2d w = pixelToWorld(frame, cv::Point2d(p.x, p.y));
    geometry_msgs::msg::Point32 q;
    q.x = static_cast<float>(w.x);
    q.y = static_cast<float>(w.y);
    q.z = 0.0F;
    out.polygon.points.push_back(q);
  }
  return out;
}

std::vector<geometry_msgs::msg::PolygonStamped> toPolygonStampeds(
  const MapFrame & frame, const Coverage & coverage)
{
  std::vector<geometry_msgs::msg::PolygonStamped> out;
  out.reserve(coverage.rectangles.size());
  for (const CoverageRectangle & rect : coverage.rectangles) {
    out.push_back(toPolygonStamped(frame, rect.extent));
  }
  return out;
}

geometry_msgs::msg::PointStamped toPointStamped(const MapFrame & frame, const cv::Point2d & pixel)
{
  geometry_msgs::msg::PointStamped out;
  out.header = headerOf(frame);
  const cv::Point2d w = pixelToWorld(frame, pixel);
  out.point.x = w.x;
  out.point.y = w.y;
  out.point.z = 0.0;
  return out;
}

geometry_msgs::msg::PoseStamped directionToPoseStamped(
  const MapFrame & frame, const cv::Point2d & pivot, double imageAngle)
{
  geometry_msgs::msg::PoseStamped out;
  out.header = headerOf(frame);
  const cv::Point2d w = pixelToWorld(frame, pivot);
  out.pose.position.x = w.x;
  out.pose.position.y = w.y;
  out.pose.orientation = detail::quaternionOfYaw(imageAngleToYaw(frame, imageAngle));
  return out;
}

nav_msgs::msg::Path toPath(const MapFrame & frame, const std::vector<cv::Point2d> & pixels)
{
  nav_msgs::msg::Path path;
  path.header = headerOf(frame);
  const std::vector<cv::Point2d> world = pixelsToWorld(frame, pixels);
  path.poses.resize(world.size());
  geometry_msgs::msg::Quaternion facing = detail::quaternionOfYaw(0.0);
  for (std::size_t i = 0; i < world.size(); ++i) {
    geometry_msgs::msg::PoseStamped & pose = path.poses[i];
    pose.header = path.header;
    pose.pose.position.x = world[i].x;
    pose.pose.position.y = world[i].y;
    if (i + 1 < world.size()) {
      const double dx = world[i + 1].x - world[i].x;
      const double dy = world[i + 1].y - world[i].y;
      if (dx != 0.0 || dy != 0.0) {
        facing = detail::quaternionOfYaw(std::atan2(dy, dx));
      }
    }
    pose.pose.orientation = facing;
  }
  return path;
}

nav_msgs::msg::Path toPath(const MapFrame & frame, const CoveragePath & coveragePath)
{
  nav_msgs::msg::Path path;
  path.header = headerOf(frame);
  path.poses.resize(coveragePath.poses.size());
  for (std::size_t i = 0; i < coveragePath.poses.size(); ++i) {
    const CoveragePose & from = coveragePath.poses[i];
    geometry_msgs::msg::PoseStamped & pose = path.poses[i];
    pose.header = path.header;
    pose.pose.position.x = from.position.x;
    pose.pose.position.y = from.position.y;
    pose.pose.orientation = detail::quaternionOfYaw(from.yaw);
  }
  return path;
}

std::vector<cv::Point2d> fromPath(const MapFrame & frame, const nav_msgs::msg::Path & path)
{
  std::vector<cv::Point2d> out;
  out.reserve(path.poses.size());
  for (const auto & pose : path.poses) {
    out.push_back(worldToPixel(frame, {pose.pose.position.x, pose.pose.position.y}));
  }
  return out;
}

}  // namespace maps
}  // namespace quorvane

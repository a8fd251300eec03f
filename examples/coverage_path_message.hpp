// From a ROS 2 node: the path a cleaning robot drives to sweep a map, as a
// nav_msgs/Path in the map's frame. The README shows this function;
// tests/maps compiles and calls it.
#ifndef QUORVANE_NAV2_ALGO_CORE__EXAMPLES__COVERAGE_PATH_MESSAGE_HPP_
#define QUORVANE_NAV2_ALGO_CORE__EXAMPLES__COVERAGE_PATH_MESSAGE_HPP_

#include <nav_msgs/msg/occupancy_grid.hpp>
#include <nav_msgs/msg/path.hpp>

#include "quorvane_nav2_maps/coverage_path.hpp"
#include "quorvane_nav2_maps/map.hpp"
#include "quorvane_nav2_maps/messages.hpp"

/// A path sweeping every part of @p grid's free cells (value 0) that a robot
/// of @p radiusM metres can reach, in lanes @p swathM metres wide along the
/// walls, each pose facing the direction of travel. Stamped like the grid.
/// Throws quorvane::maps::MapError for a malformed grid, cv::Exception for a
/// swath or radius out of range.
inline nav_msgs::msg::Path coveragePath(
  const nav_msgs::msg::OccupancyGrid & grid, double swathM, double radiusM)
{
  const quorvane::maps::Map map = quorvane::maps::fromOccupancyGrid(grid);
  quorvane::maps::CoveragePathOptions options;
  options.swathWidth = swathM;
  options.robotRadius = radiusM;
  const quorvane::maps::CoveragePath plan = quorvane::maps::planCoveragePath(map, options);
  nav_msgs::msg::Path path = quorvane::maps::toPath(map.frame, plan);
  path.header.stamp = grid.header.stamp;
  for (auto & pose : path.poses) {
    pose.header.stamp = grid.header.stamp;
  }
  return path;
}

#endif  // QUORVANE_NAV2_ALGO_CORE__EXAMPLES__COVERAGE_PATH_MESSAGE_HPP_

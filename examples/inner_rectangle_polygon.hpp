// From a ROS 2 node: the largest cell-tiled rectangle of a map, as a polygon
// in the map's frame. The README shows this function; tests/maps compiles and
// calls it.
#ifndef QUORVANE_NAV2_ALGO_CORE__EXAMPLES__INNER_RECTANGLE_POLYGON_HPP_
#define QUORVANE_NAV2_ALGO_CORE__EXAMPLES__INNER_RECTANGLE_POLYGON_HPP_

#include <cmath>
#include <vector>

#include <geometry_msgs/msg/polygon_stamped.hpp>
#include <nav_msgs/msg/occupancy_grid.hpp>

#include "get_special_points.hpp"
#include "quorvane_nav2_maps/map.hpp"
#include "quorvane_nav2_maps/messages.hpp"

/// The inner rectangle of @p grid's free cells (value 0), tiled by square
/// cells of about @p cellSizeM metres, as the closed outline through the
/// centres of its corner cells; no points when none fits. Stamped like the grid.
/// Throws quorvane::maps::MapError for a malformed grid, cv::Exception when the
/// cell is smaller than a grid cell or over 65535 of them.
inline geometry_msgs::msg::PolygonStamped innerRectangle(
  const nav_msgs::msg::OccupancyGrid & grid, double cellSizeM)
{
  const quorvane::maps::Map map = quorvane::maps::fromOccupancyGrid(grid);
  std::vector<cv::Point2f> outline;
  get_special_points finder;
  finder.getInnerRect(map.free, outline, std::round(cellSizeM / map.frame.resolution));
  geometry_msgs::msg::PolygonStamped polygon = quorvane::maps::toPolygonStamped(map.frame, outline);
  polygon.header.stamp = grid.header.stamp;
  return polygon;
}

#endif  // QUORVANE_NAV2_ALGO_CORE__EXAMPLES__INNER_RECTANGLE_POLYGON_HPP_

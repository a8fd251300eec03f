// Uses every public class and the map toolkit through the installed headers
// and shared libraries.
#include <cstdio>
#include <vector>

#include "CurvatureAnalyzer.hpp"
#include "Rotator.hpp"
#include "SimplifyPath.hpp"
#include "get_special_points.hpp"
#include "quorvane_nav2_maps/map.hpp"
#include "quorvane_nav2_maps/map_frame.hpp"
#include "quorvane_nav2_maps/messages.hpp"

int main()
{
  cv::Mat map = cv::Mat::zeros(60, 80, CV_8UC1);
  map(cv::Rect(10, 10, 60, 40)).setTo(255);

  get_special_points gsp;
  std::vector<cv::Point> junctions;
  gsp.SkeletonGetJunctionPt(map, junctions);
  std::vector<cv::Point2f> rect;
  gsp.getInnerRect(map, rect, 5.0);

  Rotator rotator;
  cv::Mat matrix;
  cv::Rect bounds;
  rotator.computeImageRotationMatrix(map, matrix, bounds, nullptr, 0.0);

  SimplifyPath simplify;
  std::vector<cv::Point> line{{0, 0}, {5, 1}, {10, 0}}, kept;
  simplify.douglasPeucker(line, 0.5, 0.0, kept);
  nav_msgs::msg::Path path, out;
  path.poses.resize(3);
  simplify.douglasPeucker(path, 0.1, out);

  CurvatureAnalyzer curvature;
  const cv::Point sharpest = curvature.findMaxCurvaturePoint(line);

  // The same map as a published grid, and the rectangle in metres.
  quorvane::maps::Map toolkitMap;
  toolkitMap.free = map;
  toolkitMap.frame.width = map.cols;
  toolkitMap.frame.height = map.rows;
  const nav_msgs::msg::OccupancyGrid grid = quorvane::maps::toOccupancyGrid(toolkitMap);
  const quorvane::maps::Map back = quorvane::maps::fromOccupancyGrid(grid);
  const auto polygon = quorvane::maps::toPolygonStamped(back.frame, rect);
  bool rejected = false;
  try {
    quorvane::maps::parseOccupancyGridYaml("not: a grid");
  } catch (const quorvane::maps::MapError &) {
    rejected = true;
  }

  std::printf(
    "junctions %zu, outline %zu, kept %zu, poses %zu, sharpest (%d, %d), polygon %zu in %s\n",
    junctions.size(), rect.size(), kept.size(), out.poses.size(), sharpest.x, sharpest.y,
    polygon.polygon.points.size(), polygon.header.frame_id.c_str());
  return junctions.size() == 2 && kept.size() == 3 &&
             polygon.polygon.points.size() == rect.size() &&
             cv::countNonZero(back.free != map) == 0 && rejected
           ? 0
           : 1;
}

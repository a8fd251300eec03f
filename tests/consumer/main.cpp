// Uses every public class through the installed headers and shared library.
#include <cstdio>
#include <vector>

#include "CurvatureAnalyzer.hpp"
#include "Rotator.hpp"
#include "SimplifyPath.hpp"
#include "get_special_points.hpp"

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

  std::printf(
    "junctions %zu, outline %zu, kept %zu, poses %zu, sharpest (%d, %d)\n", junctions.size(),
    rect.size(), kept.size(), out.poses.size(), sharpest.x, sharpest.y);
  return junctions.size() == 2 && kept.size() == 3 ? 0 : 1;
}
